// Conversions, the add operator and the binary form of values.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "stdlib/string/std_string.h"
#include "values/binary_form.h"
#include "values/convert.h"
#include "values/operators.h"

namespace {

trvvar_shared sample(int kind) {
  trvvar_shared v = trvvar_new();
  switch (kind) {
    case 0:
      break;  // none
    case 1:
      trvvar_set_int(*v, -1234567);
      break;
    case 2:
      trvvar_set_float(*v, 3.25);
      break;
    default:
      trvvar_set_string(*v, "1234567");
      break;
  }
  return v;
}

const char* const kind_names[] = {"none", "int", "float", "string"};

void BM_string_value(benchmark::State& state) {
  trvvar_shared v = sample(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trvvar_string_value(*v));
  state.SetLabel(kind_names[state.range(0)]);
}
BENCHMARK(BM_string_value)->DenseRange(0, 3);

// int_value of none is 0; every primitive type converts without a warning.
void BM_int_value(benchmark::State& state) {
  trvvar_shared v = sample(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(trvvar_int_value(*v));
  state.SetLabel(kind_names[state.range(0)]);
}
BENCHMARK(BM_int_value)->DenseRange(0, 3);

// The slot is unshared and primitive, so every sum overwrites it in place.
void BM_add_int_in_place(benchmark::State& state) {
  trvvar_shared slot = sample(1);
  trvvar_shared right = sample(1);
  for (auto _ : state) {
    trvvar_op_add(slot, *slot, *right);
    benchmark::DoNotOptimize(slot->payload.int_value);
  }
}
BENCHMARK(BM_add_int_in_place);

std::vector<trvvar_shared> integers(size_t n) {
  std::vector<trvvar_shared> values;
  values.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    trvvar_shared v = trvvar_new();
    trvvar_set_int(*v, static_cast<int64_t>(i * 2654435761u) - (1 << 20));  // mixed lengths
    values.push_back(std::move(v));
  }
  return values;
}

std::vector<trvvar_shared> short_strings(size_t n) {
  std::vector<trvvar_shared> values;
  values.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    trvvar_shared v = trvvar_new();
    trvvar_set_string(*v, "key_" + std::to_string(i));
    values.push_back(std::move(v));
  }
  return values;
}

std::vector<uint8_t> written(const std::vector<trvvar_shared>& values) {
  std::vector<uint8_t> out;
  for (const trvvar_shared& v : values) trvvar_to_binary(*v, out);
  return out;
}

void BM_write(benchmark::State& state, std::vector<trvvar_shared> (*make)(size_t), size_t n) {
  const std::vector<trvvar_shared> values = make(n);
  std::vector<uint8_t> out;
  out.reserve(written(values).size());
  for (auto _ : state) {
    out.clear();
    for (const trvvar_shared& v : values) trvvar_to_binary(*v, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}

void BM_read(benchmark::State& state, std::vector<trvvar_shared> (*make)(size_t), size_t n) {
  const std::vector<uint8_t> in = written(make(n));
  trvvar_shared v = trvvar_new();
  for (auto _ : state) {
    trv_binary_reader reader{in.data(), in.size(), 0};
    while (reader.position < reader.size) trvvar_from_binary(*v, reader);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

// memcpy of the same byte count, for scale.
void BM_memcpy(benchmark::State& state, std::vector<trvvar_shared> (*make)(size_t), size_t n) {
  const std::vector<uint8_t> in = written(make(n));
  std::vector<uint8_t> out(in.size());
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), in.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

BENCHMARK_CAPTURE(BM_write, 1M_integers, integers, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_read, 1M_integers, integers, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_memcpy, 1M_integers, integers, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_write, 100k_short_strings, short_strings, 100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_read, 100k_short_strings, short_strings, 100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_memcpy, 100k_short_strings, short_strings, 100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
