// std.string methods on a generated text of about 10 MB, called through their registered
// definitions as a script would call them (results built as script values). The text is
// written to $TRV_STRING_BENCH_TEXT when that is set, so that string_vs_python.py can run
// the same work in Python on the same bytes. Run pinned: taskset -c 0.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glue/thread_local.h"
#include "owned_runtime.h"
#include "stdlib/string/smart_split.h"
#include "stdlib/string/std_string.h"
#include "stdlib/string/string_split.h"
#include "values/payload_objects.h"
#include "values/runtime.h"
#include "values/runtime_lock.h"
#include "vm/call.h"
#include "vm/vm_context.h"

namespace {

// Lines of comma-separated fields: words, calls with nested commas, quoted texts, runs of
// spaces and tabs, trailing whitespace, and some CR LF line ends. Deterministic.
std::string generate_text(size_t size) {
  static const char* const words[] = {"string", "value", "thing",   "json",   "pool",
                                      "buffer", "index", "during",  "method", "quote",
                                      "alpha",  "beta",  "gamma",   "delta",  "loading",
                                      "x",      "y2",    "counter", "bring",  "r"};
  uint64_t state = 0x9E3779B97F4A7C15u;
  const auto next = [&state](uint64_t bound) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state % bound;
  };
  std::string text;
  text.reserve(size + 256);
  while (text.size() < size) {
    const uint64_t fields = 3 + next(8);
    for (uint64_t f = 0; f < fields; ++f) {
      if (f > 0) text += next(4) == 0 ? ",  \t" : ", ";
      const char* word = words[next(std::size(words))];
      switch (next(10)) {
        case 0:
          text.append("f(").append(word).append(", ").append(words[next(20)]).append(")");
          break;
        case 1:
          text.append("\"").append(word).append(", ").append(words[next(20)]).append("\"");
          break;
        default:
          text.append(word);
      }
    }
    if (next(3) == 0) text += "   \t";
    text += next(5) == 0 ? "\r\n" : "\n";
  }
  return text;
}

const std::string& bench_text() {
  static const std::string text = [] {
    std::string t = generate_text(10 * 1000 * 1000);
    if (const char* path = std::getenv("TRV_STRING_BENCH_TEXT")) {
      std::ofstream(path, std::ios::binary) << t;
    }
    return t;
  }();
  return text;
}

trvvar_shared text_var(std::string_view text) {
  trvvar_shared v = trvvar_new();
  trvvar_set_string(*v, text);
  return v;
}

// Calls the method on a receiver holding the bench text, once per iteration.
void run_method(benchmark::State& state, std::string_view name,
                const std::vector<std::string>& texts) {
  trv_std_string::script_register();
  const trv_function_def& def =
      *trv_std_string::member_list[static_cast<size_t>(trv_std_string::member_table.at(name))]
           ->function_def();
  // One runtime for the whole run, as a script's runtime outlives its calls: its pools are
  // grown once, not again for every batch of iterations.
  static owned_runtime runtime;
  std::vector<trvvar_shared> args;
  for (const std::string& text : texts) args.push_back(text_var(text));
  auto receiver = trvptr_strong<trv_std_string>::adopt(trv_new_string_object().take_block());
  receiver->text = bench_text();
  trv_vm_context context;
  context.native_object = receiver.get();
  for (auto _ : state) {
    std::vector<trvvar_shared> call_args = args;
    trvvar_shared result = trv_call_native(context, def, context.native_object, call_args);
    benchmark::DoNotOptimize(result.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bench_text().size()));
}

void split_by_comma(benchmark::State& state) { run_method(state, "split", {","}); }
void replace_3_bytes(benchmark::State& state) { run_method(state, "replace", {"ing", "XYZ"}); }
void find_missing(benchmark::State& state) { run_method(state, "find", {"missing"}); }
void count_3_bytes(benchmark::State& state) { run_method(state, "count", {"ing"}); }
void rstrip_lines(benchmark::State& state) { run_method(state, "rstrip_lines", {}); }
void compress_whitespace(benchmark::State& state) { run_method(state, "compress_whitespace", {}); }
void smart_split_by_comma(benchmark::State& state) { run_method(state, "smart_split", {","}); }

// The scans alone, with parts only counted: what the splits cost apart from building one
// script string value per part.
class counted_parts final : public trv_string_parts {
 public:
  void add(std::string_view part) override {
    bytes += part.size() + 1;
    ++count;
  }
  size_t bytes = 0;
  size_t count = 0;
};

template <void (*Split)(std::string_view, std::string_view, int64_t, bool, trv_string_parts&)>
void scan_only(benchmark::State& state) {
  size_t count = 0;
  for (auto _ : state) {
    counted_parts parts;
    Split(bench_text(), ",", -1, false, parts);
    benchmark::DoNotOptimize(parts.bytes);
    count = parts.count;
  }
  // The parts of one split, for checking that a peer's version of the work agrees.
  state.counters["parts"] = static_cast<double>(count);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bench_text().size()));
}

BENCHMARK(split_by_comma)->Unit(benchmark::kMillisecond);
BENCHMARK(replace_3_bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(find_missing)->Unit(benchmark::kMillisecond);
BENCHMARK(count_3_bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(rstrip_lines)->Unit(benchmark::kMillisecond);
BENCHMARK(compress_whitespace)->Unit(benchmark::kMillisecond);
BENCHMARK(smart_split_by_comma)->Unit(benchmark::kMillisecond);
BENCHMARK(scan_only<trv_split>)->Name("split_scan_only")->Unit(benchmark::kMillisecond);
BENCHMARK(scan_only<trv_smart_split>)->Name("smart_split_scan_only")->Unit(benchmark::kMillisecond);

}  // namespace
