// Script class instances in the interpreter: a loop calling a method, o.get(), and a loop
// reading an instance member, o.x, each run as a program's global block through a task. Each
// benchmark checks the loop's result after every run and reports the CPU time per iteration.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "host/assembler.h"
#include "owned_runtime.h"
#include "values/convert.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

// Locals: sum 0, i 1, o 2. The loop count is block variable 0; o = Counter(2) first.
const std::string loop_head = R"(
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

const std::string loop_start = R"(
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
  assign
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
  load_block_var 1
  lt 0
  jump_if_false end
  load_local sum
  push_none
  load_local sum
  push_none
  load_local o
)";

const std::string loop_end = R"(
  add
  assign
  load_local i
  inc 0
  jump loop
end:
)";

// sum = sum + o.get()
const std::string method_loop = loop_start + R"(  get_member "get"
  call_prepare 0
  call)" + loop_end;

// sum = sum + o.x
const std::string member_loop = loop_start + R"(  get_member "x")" + loop_end;

trvhost::assembled_program assemble_loop(const std::string& body, int64_t count) {
  return trvhost::assemble(loop_head + std::to_string(count) + "\n" + body, "class_loop.tasm",
                           [](std::string_view, std::string_view) { return nullptr; });
}

// Runs the global block to its end; true when sum is then 2 * count.
bool run_once(const trvhost::assembled_program& program, int64_t count) {
  trvptr_strong<trv_task> task = trv_task_for_block(program.root);
  task->run();
  if (task->active || task->frames.empty()) return false;
  const trvvar_shared& sum = task->frames.front()->locals[0];
  return sum && sum->type == TRVVAR_INT && trvvar_int_value(*sum) == 2 * count;
}

void run_loop(benchmark::State& state, const std::string& body) {
  owned_runtime runtime;
  const int64_t count = state.range(0);
  const trvhost::assembled_program program = assemble_loop(body, count);
  bool correct = true;
  for (auto _ : state) correct = run_once(program, count) && correct;
  if (!correct) {
    state.SkipWithError("wrong result");
    return;
  }
  const double iterations = static_cast<double>(state.iterations()) * static_cast<double>(count);
  state.counters["time_per_iteration"] =
      benchmark::Counter(iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_class_method_loop(benchmark::State& state) { run_loop(state, method_loop); }
void BM_class_member_loop(benchmark::State& state) { run_loop(state, member_loop); }

BENCHMARK(BM_class_method_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_class_member_loop)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
