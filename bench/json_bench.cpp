// std.json against nlohmann json on one generated ~20 MB document: parsing into a container
// versus nlohmann's DOM parse, printing versus nlohmann's dump, the binary form versus
// nlohmann's CBOR encoding and decoding of its DOM, and the salvage of a 1 MB truncated
// document versus one full parse of it, and the freeing of a parsed container versus that of
// nlohmann's DOM (part of every parse and read benchmark, timed alone). The document is also
// written to json_bench_doc.json for bench/json_peer.py (Python's json, marshal and pickle on the
// same document).
//
// Every benchmark of the whole document counts the bytes of the JSON text document as the
// bytes it processed, whatever it reads or writes, so bytes_per_second compares the text and
// binary forms of the same content directly (print against binary write, parse against
// binary read); the counter output_bytes (input_bytes for the reading) gives the size of the
// form actually handled. Run pinned: taskset -c 0 ./json_bench

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "owned_runtime.h"
#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"
#include "stdlib/json/std_json.h"

namespace {

std::string make_record(std::mt19937& random, int i) {
  std::string r =
      "{\"id\":" + std::to_string(i) + ",\"name\":\"user " + std::to_string(random() % 100000) +
      " \\u00e9\",\"score\":" + std::to_string(static_cast<double>(random() % 100000) / 7.0) +
      ",\"active\":" + (random() % 2 ? "true" : "false") + ",\"tags\":[";
  for (int t = 0; t < 4; ++t) r += (t ? ",\"t" : "\"t") + std::to_string(random() % 50) + "\"";
  r += "],\"address\":{\"city\":\"c" + std::to_string(random() % 1000) +
       "\",\"zip\":" + std::to_string(random() % 99999) + ",\"geo\":[1.5,-2.25]},\"note\":null}";
  return r;
}

std::string make_document(size_t target) {
  std::mt19937 random(42);
  std::string doc = "[";
  for (int i = 0; doc.size() < target; ++i) {
    if (i) doc += ',';
    doc += make_record(random, i);
  }
  doc += "]";
  return doc;
}

const std::string& document() {
  static const std::string doc = [] {
    std::string d = make_document(20u << 20);
    std::ofstream("json_bench_doc.json", std::ios::binary) << d;
    return d;
  }();
  return doc;
}

// Scripts run on the thread that owns their runtime, so their values come from its pools. One
// runtime serves the whole run; it is made before, and so outlives, every static container.
void own_runtime() { static owned_runtime runtime; }

struct parsed_document {
  trvvar_shared var = trv_new_json_var();
  trv_std_json& c = *trv_json_of(*var);
  parsed_document() { trv_json_from_string(c, document(), true); }
};

parsed_document& container() {
  own_runtime();
  static parsed_document p;
  return p;
}

const nlohmann::json& dom() {
  static const nlohmann::json j = nlohmann::json::parse(document());
  return j;
}

// The document's text bytes per iteration, and the size of the form handled as a counter.
void count_document(benchmark::State& state, const char* counter, size_t form_bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document().size()));
  state.counters[counter] = static_cast<double>(form_bytes);
}

void BM_ParseIntoContainer(benchmark::State& state) {
  own_runtime();
  const std::string& doc = document();
  for (auto _ : state) {
    trvvar_shared var = trv_new_json_var();
    benchmark::DoNotOptimize(trv_json_from_string(*trv_json_of(*var), doc, true));
  }
  count_document(state, "input_bytes", doc.size());
}

void BM_NlohmannParse(benchmark::State& state) {
  const std::string& doc = document();
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(doc));
  count_document(state, "input_bytes", doc.size());
}

// The floor of any parse through the library: its lexer and parser with a handler that keeps
// nothing.
struct noop_handler {
  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(int64_t) { return true; }
  bool number_unsigned(uint64_t) { return true; }
  bool number_float(double, const std::string&) { return true; }
  bool string(std::string&) { return true; }
  bool binary(nlohmann::json::binary_t&) { return true; }
  bool start_object(size_t) { return true; }
  bool key(std::string&) { return true; }
  bool end_object() { return true; }
  bool start_array(size_t) { return true; }
  bool end_array() { return true; }
  bool parse_error(size_t, const std::string&, const nlohmann::detail::exception&) { return false; }
};

void BM_NlohmannSaxNoop(benchmark::State& state) {
  const std::string& doc = document();
  for (auto _ : state) {
    noop_handler handler;
    benchmark::DoNotOptimize(nlohmann::json::sax_parse(doc, &handler));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}

// What the parse benchmarks spend on freeing their result, timed alone: the container parsed
// from the document, and nlohmann's DOM of it.
void BM_ReleaseContainer(benchmark::State& state) {
  own_runtime();
  const std::string& doc = document();
  for (auto _ : state) {
    state.PauseTiming();
    trvvar_shared var = trv_new_json_var();
    const bool parsed = trv_json_from_string(*trv_json_of(*var), doc, true);
    state.ResumeTiming();
    var.reset();
    if (!parsed) {
      state.SkipWithError("the document did not parse");
      break;
    }
  }
  count_document(state, "input_bytes", doc.size());
}

void BM_NlohmannRelease(benchmark::State& state) {
  const std::string& doc = document();
  for (auto _ : state) {
    state.PauseTiming();
    auto j = std::make_unique<nlohmann::json>(nlohmann::json::parse(doc));
    state.ResumeTiming();
    j.reset();
  }
  count_document(state, "input_bytes", doc.size());
}

void BM_PrintContainer(benchmark::State& state) {
  trv_std_json& c = container().c;
  const bool compact = state.range(0) == 0;
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = trv_json_to_text(c, compact);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  count_document(state, "output_bytes", bytes);
}

void BM_NlohmannDump(benchmark::State& state) {
  const int indent = state.range(0) == 0 ? -1 : 4;
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = dom().dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
    bytes = text.size();
    benchmark::DoNotOptimize(text);
  }
  count_document(state, "output_bytes", bytes);
}

void BM_BinaryWrite(benchmark::State& state) {
  trv_std_json& c = container().c;
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<uint8_t> out;
    if (!c.to_binary(out)) {
      state.SkipWithError("the container cannot be written");
      break;
    }
    bytes = out.size();
    benchmark::DoNotOptimize(out);
  }
  count_document(state, "output_bytes", bytes);
}

void BM_BinaryRead(benchmark::State& state) {
  own_runtime();
  std::vector<uint8_t> record;
  if (!container().c.to_binary(record)) state.SkipWithError("the container cannot be written");
  const size_t entries = container().c.size();
  for (auto _ : state) {
    trvvar_shared var = trv_new_json_var();
    trv_std_json& read = *trv_json_of(*var);
    if (!read.from_binary(record) || read.size() != entries) {
      state.SkipWithError("the record did not read back");
      break;
    }
  }
  count_document(state, "input_bytes", record.size());
}

// nlohmann's CBOR of its own DOM: the nearest library counterpart of the binary form. The
// encoding is checked once by decoding it back to the same DOM, then by its size.
const std::vector<uint8_t>& cbor() {
  static const std::vector<uint8_t> bytes = nlohmann::json::to_cbor(dom());
  return bytes;
}

bool cbor_round_trips() {
  static const bool same = nlohmann::json::from_cbor(cbor()) == dom();
  return same;
}

void BM_CborEncode(benchmark::State& state) {
  if (!cbor_round_trips()) state.SkipWithError("CBOR does not read back as the document");
  const size_t expected = cbor().size();
  for (auto _ : state) {
    std::vector<uint8_t> out = nlohmann::json::to_cbor(dom());
    if (out.size() != expected) {
      state.SkipWithError("CBOR of a different size");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
  count_document(state, "output_bytes", expected);
}

void BM_CborDecode(benchmark::State& state) {
  if (!cbor_round_trips()) state.SkipWithError("CBOR does not read back as the document");
  const std::vector<uint8_t>& in = cbor();
  const size_t records = dom().size();
  for (auto _ : state) {
    nlohmann::json j = nlohmann::json::from_cbor(in);
    if (j.size() != records) {
      state.SkipWithError("CBOR decoded to a different document");
      break;
    }
    benchmark::DoNotOptimize(j);
  }
  count_document(state, "input_bytes", in.size());
}

// A 1 MB document cut inside its last record, and the same records closed properly.
const std::string& truncated() {
  static const std::string t = document().substr(0, 1u << 20);
  return t;
}

void BM_Salvage1MB(benchmark::State& state) {
  own_runtime();
  const std::string& text = truncated();
  for (auto _ : state) {
    trvvar_shared var = trv_new_json_var();
    benchmark::DoNotOptimize(trv_json_from_string(*trv_json_of(*var), text, true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * truncated().size()));
}

void BM_Parse1MB(benchmark::State& state) {
  own_runtime();
  const std::string whole = make_document(1u << 20);
  for (auto _ : state) {
    trvvar_shared var = trv_new_json_var();
    benchmark::DoNotOptimize(trv_json_from_string(*trv_json_of(*var), whole, true));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * whole.size()));
}

BENCHMARK(BM_ParseIntoContainer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannSaxNoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReleaseContainer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannRelease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintContainer)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannDump)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinaryWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BinaryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CborEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CborDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Salvage1MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse1MB)->Unit(benchmark::kMillisecond);

}  // namespace
