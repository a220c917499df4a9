#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/capturing_logger.h"
#include "tests/support/owned_runtime.h"
#include "values/assign.h"
#include "vm/opcodes.h"
#include "vm/task.h"

namespace {

void emit(std::vector<uint8_t>& code, uint8_t opcode, int32_t a = 0) {
  const size_t at = code.size();
  code.resize(at + trv_opcode_table[opcode].length);
  code[at] = opcode;
  if (code.size() - at >= 8) std::memcpy(code.data() + at + 4, &a, sizeof a);
}

trvptr_strong<trv_program_block> new_block(const trvptr_strong<trv_compiled_unit>& unit,
                                           uint32_t kind) {
  trvptr_strong<trv_program_block> block =
      trvptr_strong<trv_program_block>::from(new trv_program_block);
  block->unit = unit;
  block->kind = kind;
  return block;
}

// A global block that keeps its child function, with a closure capturing the integers 1 ..
// `captures`, in its slot 0 and calls it.
trvptr_strong<trv_program_block> calling_root(const trvptr_strong<trv_program_block>& child,
                                              int32_t captures) {
  trvptr_strong<trv_program_block> root = new_block(child->unit, TRV_BLOCK_GLOBAL);
  root->local_count = 1;
  root->children.push_back(child);
  std::vector<uint8_t>& code = root->code;
  emit(code, TRV_OP_push_none);
  emit(code, TRV_OP_load_local, 0);
  emit(code, TRV_OP_push_none);
  emit(code, TRV_OP_function, 0);
  if (captures > 0) {
    emit(code, TRV_OP_push_none);
    for (int32_t value = 1; value <= captures; ++value) {
      emit(code, TRV_OP_int);
      std::memcpy(code.data() + code.size() - 8, &value, sizeof value);
      emit(code, TRV_OP_capture);
    }
    emit(code, TRV_OP_pop);
  }
  emit(code, TRV_OP_assign);
  emit(code, TRV_OP_call_prepare);
  emit(code, TRV_OP_call);
  root->exit_position = static_cast<uint32_t>(code.size());
  return root;
}

// A function block that only returns, declaring the given counts.
trvptr_strong<trv_program_block> returning_function(uint32_t parameters, uint32_t captures,
                                                    uint32_t locals) {
  trvptr_strong<trv_program_block> block =
      new_block(trvptr_strong<trv_compiled_unit>::from(new trv_compiled_unit), TRV_BLOCK_FUNCTION);
  block->parameter_count = parameters;
  block->capture_count = captures;
  block->local_count = locals;
  emit(block->code, TRV_OP_return);
  return block;
}

// The first error reported contains `text`.
void expect_first_error_names(const log_capture& capture, const std::string& text) {
  const std::vector<std::string> errors = capture.errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_NE(errors.front().find(text), std::string::npos) << errors.front();
}

// Runs a task of `root` that must end in an error; its error callback's call is checked.
trvptr_strong<trv_task> run_failing(const trvptr_strong<trv_program_block>& root) {
  trvptr_strong<trv_task> task = trv_task_for_block(root);
  bool failed = false;
  task->on_error = [&failed](trvvar_shared&) { failed = true; };
  EXPECT_TRUE(task->run());
  EXPECT_TRUE(failed);
  task->on_error = nullptr;
  return task;
}

// A script function calling itself without end: the root keeps the function value in its
// global slot 0, and the function calls whatever that slot holds.
TEST(Task, EndlessScriptRecursionEndsAtTheFrameLimitWithoutCStack) {
  log_capture capture(TRV_LOG_ERROR);
  owned_runtime runtime;
  trvptr_strong<trv_program_block> down =
      new_block(trvptr_strong<trv_compiled_unit>::from(new trv_compiled_unit), TRV_BLOCK_FUNCTION);
  emit(down->code, TRV_OP_push_none);
  emit(down->code, TRV_OP_load_global, 0);
  emit(down->code, TRV_OP_call_prepare);
  emit(down->code, TRV_OP_call);
  down->exit_position = static_cast<uint32_t>(down->code.size());

  trvptr_strong<trv_task> task = run_failing(calling_root(down, 0));
  EXPECT_FALSE(task->active);
  EXPECT_EQ(task->frames.size(), 1u);  // only the global frame stays
  const std::vector<std::string> errors = capture.errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front(), "Runtime Error\n" + std::string(60, '-') +
                                "\nMaximum call depth exceeded.\n" + std::string(60, '-'));
  // Every other frame of the trace names the error once: the recursion went as deep as the
  // limit allows and no deeper.
  EXPECT_EQ(errors.size(), trv_max_frames);
  task.reset();
}

// A block that declares more captures than it has locals is refused when it runs; calling it
// with a closure must not first copy the captures past the end of its frame's locals.
TEST(Task, ClosureOfABlockTooSmallForItsCapturesIsRefusedWithoutWritingPastItsLocals) {
  log_capture capture(TRV_LOG_ERROR);
  owned_runtime runtime;
  trvptr_strong<trv_task> task = run_failing(calling_root(returning_function(0, 3, 1), 3));
  expect_first_error_names(capture, "block has 1 locals for 0 parameters and 3 captures");
  task.reset();
}

// The same for the parameters of a routine started with arguments: they must not be stored
// past the end of its frame's locals before the block is refused.
TEST(Task, ARoutineWithMoreParametersThanLocalsIsRefusedWithoutWritingPastThem) {
  log_capture capture(TRV_LOG_ERROR);
  owned_runtime runtime;
  trvptr_strong<trv_program_block> routine = returning_function(3, 0, 1);
  trvptr_strong<trv_program_block> root = new_block(routine->unit, TRV_BLOCK_GLOBAL);
  trvptr_strong<trv_task> scope = trv_task_for_block(root);
  ASSERT_TRUE(scope->run());  // a global task keeps its frame
  trvvar_shared function = trvvar_new();
  trvvar_set_function(*function, routine, scope);
  trvptr_strong<trv_task> task = trv_task_for_function(*function, nullptr);
  ASSERT_TRUE(task);
  std::vector<trvvar_shared> args{trvvar_new_int(1), trvvar_new_int(2), trvvar_new_int(3)};
  task->run(&args);
  EXPECT_FALSE(task->active);
  expect_first_error_names(capture, "block has 1 locals for 3 parameters and 0 captures");
}

}  // namespace

// A routine started by a routine whose own starter has ended: its parent chain breaks there.
// Its scope is still the global task it was linked to, never the routine where the chain
// ends, whose first frame holds that routine's locals and which can end before it; and a
// routine whose global task has ended does not run again.
TEST(Task, ARoutineKeepsItsGlobalScopeWhenItsChainBreaksAndStopsWhenThatScopeEnds) {
  log_capture capture(TRV_LOG_ERROR);
  owned_runtime runtime;
  trvptr_strong<trv_program_block> function = returning_function(0, 0, 0);
  function->exit_position = static_cast<uint32_t>(function->code.size());
  trvptr_strong<trv_task> global = trv_task_for_block(new_block(function->unit, TRV_BLOCK_GLOBAL));
  ASSERT_TRUE(global->run());  // a global task keeps its frame
  trvvar_shared value = trvvar_new();
  trvvar_set_function(*value, function, global);
  // Each routine below is started from a frame of the one before it.
  auto started_by = [&](trv_task* task) {
    trv_vm_context caller;
    caller.task = task;
    caller.scope = global.get();
    return trv_task_for_function(*value, &caller);
  };
  trvptr_strong<trv_task> first = started_by(global.get());
  trvptr_strong<trv_task> second = started_by(first.get());
  trvptr_strong<trv_task> third = started_by(second.get());
  ASSERT_TRUE(first && second && third);
  first.reset();  // reports the routine it started, still alive
  capture.logger().clear();
  EXPECT_EQ(trv_task_scope_root(third.get()), global.get());
  EXPECT_TRUE(third->run());
  EXPECT_TRUE(capture.errors().empty());

  global.reset();
  capture.logger().clear();
  EXPECT_EQ(trv_task_scope_root(third.get()), nullptr);
  third->run();
  expect_first_error_names(capture, "task_continue called while the task was not active!");
}

// The tasks a parent started stay in its lists while they live, whatever order they end in;
// the ended ones are swept out as the lists fill, so a parent that runs task after task keeps
// short lists.
TEST(Task, AParentKnowsItsLiveTasksAndKeepsFewOfThoseThatEnded) {
  owned_runtime runtime;
  const trvptr_strong<trv_program_block> block = returning_function(0, 0, 0);
  block->kind = TRV_BLOCK_GLOBAL;
  const trvptr_strong<trv_task> root = trv_task_for_block(block);
  const auto started = [&root] {
    trvptr_strong<trv_task> task = trvptr_strong<trv_task>::from(new trv_task());
    trv_task_link(*task, *root, *root);
    return task;
  };
  std::vector<trvptr_strong<trv_task>> live;
  for (int i = 0; i < 1000; ++i) live.push_back(started());
  // Every other one ends, then more start: the sweeps they cause keep the live ones.
  for (size_t i = 0; i < live.size(); i += 2) live[i].reset();
  for (int i = 0; i < 1000; ++i) live.push_back(started());
  std::erase_if(live, [](const trvptr_strong<trv_task>& task) { return !task; });
  while (!live.empty()) {
    EXPECT_TRUE(root->has_live_children());
    live.erase(live.begin());
  }
  EXPECT_FALSE(root->has_live_children());
  for (int i = 0; i < 10000; ++i) started();
  EXPECT_LE(root->children.size(), 2048u);
  EXPECT_LE(root->registered.size(), 2048u);
}
