// The regex methods of std.string over a 1 MB text, as scripts run them: each benchmark runs a
// program's global block `r = text.METHOD(...)` through the host's task loop, so the time
// includes the method call, the copy of the text into the job, the job's trip through
// return_thread to a worker, the completion the loop consumes and the task's resumption.
// Beside them the same three operations done directly with std::regex and with Boost.Regex
// (the engine the methods use; for replace_dash the methods use their own loop over Boost's
// matches, not boost::regex_replace; and they give Boost "[0-9]+" as "[0-9][0-9]*", which it
// searches faster, while the direct Boost side gets the patterns as written) in this thread:
//   findall_digits   every match of [0-9]+
//   findall_emails   every match (group 0) of (\w+)@(\w+)\.com
//   replace_dash     every - replaced by +
// and the hand-off alone: a program whose one call, "".regex_escape(), is a job with next to
// no work, timed per run of the loop (median and p99 in µs), beside the same program calling
// "".length(), which makes no job.
//
// The text is written to $TRV_REGEX_BENCH_TEXT when that is set, so that bench/regex_peer.py
// can run Python's re on the same bytes. Every benchmark checks its result and reports its
// match count (or result size) as "matches".

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

// The same limit as the engine's translation unit, so that both instantiate Boost alike.
#define BOOST_REGEX_MAX_BLOCKS 65536
#include <boost/regex.hpp>

#include "host/assembler.h"
#include "host/runtime_driver.h"
#include "host/task_loop.h"
#include "host/worker_pool.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "vm/task.h"

namespace {

const char* const digits_pattern = "[0-9]+";
const char* const emails_pattern = R"((\w+)@(\w+)\.com)";

// About 1 MB of lines of lowercase words, numbers, e-mail addresses, hyphenated words and
// spaced dashes, from a fixed seed.
std::string generate_text(size_t size) {
  uint64_t state = 0x2545F4914F6CDD1Dull;
  auto next = [&state](uint64_t bound) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (state >> 33) % bound;
  };
  auto word = [&](std::string& out) {
    const uint64_t length = 2 + next(8);
    for (uint64_t i = 0; i < length; ++i) out += static_cast<char>('a' + next(26));
  };
  std::string text;
  text.reserve(size + 64);
  size_t line_start = 0;
  while (text.size() < size) {
    switch (next(12)) {
      case 0:
      case 1:
        text += std::to_string(next(1000000));
        break;
      case 2:
        word(text);
        if (next(2) == 0) text += '_' + std::to_string(next(100));
        text += '@';
        word(text);
        text += next(4) == 0 ? ".org" : ".com";
        break;
      case 3:
        word(text);
        text += '-';
        word(text);
        break;
      case 4:
        text += '-';
        break;
      default:
        word(text);
    }
    if (text.size() - line_start > 72) {
      text += '\n';
      line_start = text.size();
    } else {
      text += next(10) == 0 ? ", " : " ";
    }
  }
  text.resize(size);
  return text;
}

const std::string& bench_text() {
  static const std::string text = [] {
    std::string t = generate_text(1000 * 1000);
    if (const char* path = std::getenv("TRV_REGEX_BENCH_TEXT")) {
      std::ofstream(path, std::ios::binary) << t;
    }
    return t;
  }();
  return text;
}

// The reference results, from Boost directly.
std::vector<std::string> boost_findall(const std::string& text, const char* pattern) {
  const boost::regex re(pattern, boost::regex::ECMAScript);
  std::vector<std::string> out;
  for (boost::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.push_back(it->str(0));
  }
  return out;
}

std::string boost_replace(const std::string& text) {
  const boost::regex re("-", boost::regex::ECMAScript);
  return boost::regex_replace(text, re, "+");
}

std::vector<std::string> std_findall(const std::string& text, const char* pattern) {
  const std::regex re(pattern, std::regex::ECMAScript);
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.push_back(it->str(0));
  }
  return out;
}

std::string std_replace(const std::string& text) {
  const std::regex re("-", std::regex::ECMAScript);
  return std::regex_replace(text, re, "+");
}

size_t expected_count(const char* pattern) {
  static const size_t digits = boost_findall(bench_text(), digits_pattern).size();
  static const size_t emails = boost_findall(bench_text(), emails_pattern).size();
  return pattern == digits_pattern ? digits : emails;
}

const std::string& expected_replaced() {
  static const std::string replaced = boost_replace(bench_text());
  return replaced;
}

// Quoted for the assembler: backslashes doubled (the patterns hold no other escapes).
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// r = text.METHOD(ARGS...) with `text` a block variable.
std::string call_program(std::string_view method, const std::vector<std::string>& args) {
  std::string program = R"(
.block main global
.root
.local r
.var text string ""
  load_local r
  push_none
  load_block_var text
  get_member ")" + std::string(method) +
                        "\"\n  call_prepare " + std::to_string(args.size()) + "\n";
  // One none below the arguments, each argument then stored by call_arg, the none popped.
  if (!args.empty()) program += "  push_none\n";
  for (size_t i = 0; i < args.size(); ++i) {
    program += "  string " + quoted(args[i]) + "\n  call_arg " + std::to_string(i) + "\n";
  }
  if (!args.empty()) program += "  pop\n";
  return program + "  call\n  assign\n";
}

// A runtime with its task loop and workers, as the host sets them up, and one assembled call.
class host {
 public:
  host(std::string_view method, const std::vector<std::string>& args, std::string_view text)
      : driver_("regex_bench") {
    driver_.take_ownership();
    trv_std_string::script_register();
    program_.emplace(trvhost::assemble(call_program(method, args), "regex_bench.tasm",
                                       [](std::string_view, std::string_view) { return nullptr; }));
    trvvar_set_string(*program_->root->block_variables[0], text);
    loop_.emplace(driver_);
    workers_.emplace(driver_.runtime(), trvhost::worker_pool::default_count());
  }
  ~host() {
    workers_.reset();
    loop_.reset();
    program_.reset();
  }
  host(const host&) = delete;
  host& operator=(const host&) = delete;

  // A task for the global block, ready to run.
  trvptr_strong<trv_task> task() { return trv_task_for_block(program_->root); }

  // Runs the task and everything it waits for; its result local, null when it failed.
  trvvar_shared run(const trvptr_strong<trv_task>& task) {
    if (loop_->run(task) || task->active || task->frames.empty()) return {};
    return task->frames.front()->locals[0];
  }

 private:
  trvhost::runtime_driver driver_;
  std::optional<trvhost::assembled_program> program_;
  std::optional<trvhost::task_loop> loop_;
  std::optional<trvhost::worker_pool> workers_;
};

size_t list_size(const trvvar_shared& v) {
  if (!v || v->type != TRVVAR_JSON) return SIZE_MAX;
  return trv_object_cast<trv_std_json>(trvvar_payload_object(*v))->entries.size();
}

// --- the methods, job hand-off included ----------------------------------------------------

void method_findall(benchmark::State& state, const char* pattern) {
  const size_t expected = expected_count(pattern);
  host h("regex_findall", {pattern}, bench_text());
  bool correct = true;
  for (auto _ : state) {
    trvptr_strong<trv_task> task = h.task();
    correct = list_size(h.run(task)) == expected && correct;
  }
  if (!correct) state.SkipWithError("wrong match count");
  state.counters["matches"] = static_cast<double>(expected);
}

void BM_method_findall_digits(benchmark::State& state) { method_findall(state, digits_pattern); }
void BM_method_findall_emails(benchmark::State& state) { method_findall(state, emails_pattern); }

void BM_method_replace_dash(benchmark::State& state) {
  const std::string& expected = expected_replaced();
  host h("regex_replace", {"-", "+"}, bench_text());
  bool correct = true;
  for (auto _ : state) {
    trvptr_strong<trv_task> task = h.task();
    const trvvar_shared r = h.run(task);
    correct = r && r->type == TRVVAR_STRING && trvvar_string_view(*r) == expected && correct;
  }
  if (!correct) state.SkipWithError("wrong result");
  state.counters["matches"] = static_cast<double>(expected.size());
}

// --- std::regex and Boost directly -----------------------------------------------------------

template <std::vector<std::string> (*Findall)(const std::string&, const char*)>
void direct_findall(benchmark::State& state, const char* pattern) {
  const size_t expected = expected_count(pattern);
  bool correct = true;
  for (auto _ : state) {
    const std::vector<std::string> found = Findall(bench_text(), pattern);
    correct = found.size() == expected && correct;
  }
  if (!correct) state.SkipWithError("wrong match count");
  state.counters["matches"] = static_cast<double>(expected);
}

template <std::string (*Replace)(const std::string&)>
void direct_replace(benchmark::State& state) {
  const std::string& expected = expected_replaced();
  bool correct = true;
  for (auto _ : state) correct = Replace(bench_text()) == expected && correct;
  if (!correct) state.SkipWithError("wrong result");
  state.counters["matches"] = static_cast<double>(expected.size());
}

void BM_std_findall_digits(benchmark::State& state) {
  direct_findall<std_findall>(state, digits_pattern);
}
void BM_std_findall_emails(benchmark::State& state) {
  direct_findall<std_findall>(state, emails_pattern);
}
void BM_std_replace_dash(benchmark::State& state) { direct_replace<std_replace>(state); }
void BM_boost_findall_digits(benchmark::State& state) {
  direct_findall<boost_findall>(state, digits_pattern);
}
void BM_boost_findall_emails(benchmark::State& state) {
  direct_findall<boost_findall>(state, emails_pattern);
}
void BM_boost_replace_dash(benchmark::State& state) { direct_replace<boost_replace>(state); }

// --- the hand-off alone ----------------------------------------------------------------------

// Times each run of the loop over `r = "".METHOD()`, from the task's start to the loop's end
// (the completion consumed and the task finished); reports the median and p99 in µs.
void handoff(benchmark::State& state, std::string_view method, int64_t expected_type) {
  host h(method, {}, "");
  std::vector<double> samples;
  samples.reserve(static_cast<size_t>(state.max_iterations));
  bool correct = true;
  for (auto _ : state) {
    trvptr_strong<trv_task> task = h.task();
    const auto start = std::chrono::steady_clock::now();
    const trvvar_shared r = h.run(task);
    const auto stop = std::chrono::steady_clock::now();
    samples.push_back(std::chrono::duration<double, std::micro>(stop - start).count());
    correct = r && r->type == expected_type && correct;
  }
  if (!correct || samples.empty()) {
    state.SkipWithError("wrong result");
    return;
  }
  std::sort(samples.begin(), samples.end());
  state.counters["median_us"] = samples[samples.size() / 2];
  state.counters["p99_us"] = samples[samples.size() * 99 / 100];
  state.counters["max_us"] = samples.back();
}

void BM_handoff_job(benchmark::State& state) { handoff(state, "regex_escape", TRVVAR_STRING); }
void BM_handoff_no_job(benchmark::State& state) { handoff(state, "length", TRVVAR_INT); }

BENCHMARK(BM_method_findall_digits)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_std_findall_digits)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_boost_findall_digits)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_method_findall_emails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_std_findall_emails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_boost_findall_emails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_method_replace_dash)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_std_replace_dash)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_boost_replace_dash)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_handoff_job)->Iterations(20000)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_handoff_no_job)->Iterations(20000)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
