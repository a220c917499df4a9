// The interpreter on five loops, each run as a program's global block through the real task
// loop: a sum loop, a loop calling a script function f(i) -> i + 1, a loop adding up the
// native method call s.length(), and two over a script class instance: the method call o.get()
// and the member read o.x; then std.json's filter and map with a script callback over 1,000,000
// entries. bench/interp_peer.py runs the same work in Lua 5.4 and Python 3 in the same run. Each
// benchmark checks the loop's result after every run, and reports the instructions one loop
// iteration executes (counted with the trace hook on short runs) and the CPU time per iteration and
// per executed instruction.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "host/assembler.h"
#include "host/runtime_driver.h"
#include "host/task_loop.h"
#include "owned_runtime.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "vm/interpreter.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

// Locals: sum 0, i 1, s 2. The loop count `n` is block variable 0, so one text serves every
// count.
const std::string loop_head = R"(
.block main global
.root
.local sum
.local i
.local s
.var int )";

// sum = 0; i = 0; while (i < n) { sum = sum + ADDEND; i++ }, ADDEND's code leaving its value
// in the slot above sum's; the loop count is block variable `count`.
std::string counting_loop(std::string_view addend, std::string_view count) {
  return R"(
  load_local sum
  push_none
  int 0
  assign
  load_local i
  push_none
  int 0
  assign
loop:
  load_local i
  push_none
  load_block_var )" +
         std::string(count) + R"(
  lt 0
  jump_if_false end
  load_local sum
  push_none
  load_local sum
  push_none
)" + std::string(addend) +
         R"(
  add
  assign
  load_local i
  inc 0
  jump loop
end:
)";
}

// sum = sum + i
const std::string sum_loop = counting_loop("  load_local i", "0");

// i = 0; while (i < n) i = f(i); with fn f(x) { return x + 1 } held in a local (slot 2), as
// a compiled program holds a named function.
const std::string call_loop = R"(
.child f
  load_local s
  push_none
  function f
  assign
  load_local i
  push_none
  int 0
  assign
loop:
  load_local i
  push_none
  load_block_var 0
  lt 0
  jump_if_false end
  load_local i
  push_none
  load_local s
  call_prepare 1
  push_none
  load_local i
  call_arg 0
  pop
  call
  assign
  jump loop
end:
.block f function
.param x
  load_local x
  push_none
  int 1
  add
  return
)";

// s = "hello"; then sum = sum + s.length()
const std::string method_loop = R"(
  load_local s
  push_none
  string "hello"
  assign
)" + counting_loop(R"(  load_local s
  get_member "length"
  call_prepare 0
  call)",
                   "0");

const std::string class_head = R"(
.class Counter
  .constructor counter_new
  .member x 0
  .method get counter_get

.block counter_new function
.param x
  new_instance

.block counter_get function
  member 0 0

.block main global
.root
.local sum
.local i
.local o
.var Counter class Counter
.var int )";

// o = Counter(2); then the counting loop over block variable 1.
std::string class_loop(std::string_view member_use) {
  return R"(
  push_none
  load_local o
  push_none
  load_block_var Counter
  call_prepare 1
  push_none
  int 2
  call_arg 0
  pop
  call
  assign)" +
         counting_loop("  load_local o\n" + std::string(member_use), "1");
}

// sum = sum + o.get()
const std::string class_method_loop = class_loop(R"(  get_member "get"
  call_prepare 0
  call)");

// sum = sum + o.x
const std::string class_member_loop = class_loop(R"(  get_member "x")");

struct loop_case {
  const std::string& head;
  const std::string& body;
  size_t checked_local;            // the local holding the result
  int64_t (*expected)(int64_t n);  // its value after n iterations
};

const loop_case sum_case{loop_head, sum_loop, 0, [](int64_t n) { return n * (n - 1) / 2; }};
const loop_case call_case{loop_head, call_loop, 1, [](int64_t n) { return n; }};
const loop_case method_case{loop_head, method_loop, 0, [](int64_t n) { return 5 * n; }};
const loop_case class_method_case{class_head, class_method_loop, 0,
                                  [](int64_t n) { return 2 * n; }};
const loop_case class_member_case{class_head, class_member_loop, 0,
                                  [](int64_t n) { return 2 * n; }};

size_t executed = 0;

void count_instruction(trv_vm_context&, const uint8_t*, size_t) { ++executed; }

trvhost::assembled_program assemble_loop(const loop_case& loop, int64_t count) {
  trv_std_string::script_register();
  return trvhost::assemble(loop.head + std::to_string(count) + "\n" + loop.body, "loop.tasm",
                           [](std::string_view, std::string_view) { return nullptr; });
}

// Runs the program's global block to its end; true when the checked local then holds the
// expected integer. A global task keeps its frame after it finishes.
bool run_once(const trvhost::assembled_program& program, const loop_case& loop, int64_t count) {
  trvptr_strong<trv_task> task = trv_task_for_block(program.root);
  task->run();
  if (task->active || task->frames.empty()) return false;
  const trvvar_shared& result = task->frames.front()->locals[loop.checked_local];
  return result && result->type == TRVVAR_INT && trvvar_int_value(*result) == loop.expected(count);
}

// Instructions per loop iteration: the difference of two counted runs.
double instructions_per_iteration(const loop_case& loop) {
  trv_set_trace_hook(count_instruction);
  executed = 0;
  const bool first = run_once(assemble_loop(loop, 1000), loop, 1000);
  const size_t thousand = executed;
  executed = 0;
  const bool second = run_once(assemble_loop(loop, 2000), loop, 2000);
  trv_set_trace_hook(nullptr);
  if (!first || !second) return -1;
  return static_cast<double>(executed - thousand) / 1000.0;
}

void run_loop(benchmark::State& state, const loop_case& loop) {
  owned_runtime runtime;
  const int64_t count = state.range(0);
  const double per_iteration = instructions_per_iteration(loop);
  if (per_iteration <= 0) {
    state.SkipWithError("wrong result in the counted runs");
    return;
  }
  const trvhost::assembled_program program = assemble_loop(loop, count);
  bool correct = true;
  for (auto _ : state) correct = run_once(program, loop, count) && correct;
  if (!correct) {
    state.SkipWithError("wrong result");
    return;
  }
  const double iterations = static_cast<double>(state.iterations()) * static_cast<double>(count);
  state.counters["instructions_per_iteration"] = per_iteration;
  state.counters["time_per_iteration"] =
      benchmark::Counter(iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["time_per_instruction"] = benchmark::Counter(
      iterations * per_iteration, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_sum_loop(benchmark::State& state) { run_loop(state, sum_case); }
void BM_call_loop(benchmark::State& state) { run_loop(state, call_case); }
void BM_method_loop(benchmark::State& state) { run_loop(state, method_case); }
void BM_class_method_loop(benchmark::State& state) { run_loop(state, class_method_case); }
void BM_class_member_loop(benchmark::State& state) { run_loop(state, class_member_case); }

// --- callbacks over a container: r = xs.METHOD(f), fn f(k, v) { return v + 1 } -------------

std::string callback_program(std::string_view method) {
  return R"(
.block main global
.root
.local r
.var xs none
.child f
  push_none
  load_local r
  push_none
  load_block_var xs
  get_member ")" +
         std::string(method) +
         R"("
  call_prepare 1
  push_none
  function f
  call_arg 0
  pop
  call
  assign
  pop
.block f function
.param k
.param v
  load_local v
  push_none
  int 1
  add
  return
)";
}

// The method call as the host runs it (its task loop, the calling task waiting for the
// iteration), over a block variable holding the integers 0 .. n - 1; checks that the result
// holds n entries with `last` at the end.
void run_callbacks(benchmark::State& state, std::string_view method, int64_t last_offset) {
  const int64_t count = state.range(0);
  trvhost::runtime_driver driver("interp_bench");
  driver.take_ownership();
  trv_std_json::script_register();
  const trvhost::assembled_program program =
      trvhost::assemble(callback_program(method), "callbacks.tasm",
                        [](std::string_view, std::string_view) { return nullptr; });
  trvvar& xs = *program.root->block_variables[0];
  trvvar_set_type(xs, TRVVAR_JSON);
  trv_std_json& container = *trv_json_of(xs);
  for (int64_t i = 0; i < count; ++i) container.add_value(trvvar_new_int(i), {});
  bool correct = true;
  {
    trvhost::task_loop loop(driver);
    for (auto _ : state) {
      trvptr_strong<trv_task> task = trv_task_for_block(program.root);
      const bool failed = loop.run(task);
      const trv_std_json* result = failed ? nullptr : trv_json_of(*task->frames.front()->locals[0]);
      correct = result != nullptr && result->size() == static_cast<size_t>(count) &&
                trvvar_int_value(*result->entries.back().value) == count - 1 + last_offset &&
                correct;
    }
  }
  if (!correct) state.SkipWithError("wrong result");
  state.counters["time_per_iteration"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * static_cast<double>(count),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// filter keeps every entry (f never gives 0), map adds 1 to each.
void BM_filter_callback(benchmark::State& state) { run_callbacks(state, "filter", 0); }
void BM_map_callback(benchmark::State& state) { run_callbacks(state, "map", 1); }

BENCHMARK(BM_sum_loop)->Arg(10'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_call_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_method_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_class_method_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_class_member_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_filter_callback)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_map_callback)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
