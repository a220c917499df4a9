#pragma once

// Tasks: one running activity of script code each (the global script, a routine started from a
// function value, a callback that native code runs). A task owns the stacks the interpreter
// works on: the frame stack (innermost last), frames prepared by a call but not yet entered,
// the pending calls, the operand stack and the argument lists. task_continue runs the
// innermost frame and acts on the status it returns, so a script call costs a frame, never C
// stack. The runtime holds the schedule heap (by eta) and the waiting list; the host's loop
// takes due tasks from the heap and continues them.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "glue/object_ptr.h"
#include "values/var.h"
#include "values/var_vectors.h"
#include "vm/program_block.h"
#include "vm/vm_context.h"

class trv_function_def;
struct trv_runtime;
struct trv_thread_local;

// A native call between its preparation (instruction 44) and its execution (46); its
// arguments fill the argument list at `depth`.
struct trv_native_call {
  trvptr_strong<trv_function_def> definition;
  trvptr_strong<trvobject_base> bound_object;
  int32_t depth = 0;
};

// What a pending call makes: a script call (the newest prepared frame), a native call (the
// newest of native_calls), or nothing: a preparation that failed inside a no-except block,
// where the frame goes on to the call's arguments and its call instruction. That call drops
// its arguments and gives none, instead of the arguments and the call going to the call
// prepared before it.
enum trv_pending_kind : uint8_t { trv_pending_script, trv_pending_native, trv_pending_skipped };

// A call prepared and not yet executed, and the frame that prepared it. A frame that leaves the
// stack before making its call (an error unwound it, or its code ended) drops the call: kept,
// it would hold its arguments until the task ends, count towards the task's frame limit, and
// be made by the next call instruction of another frame.
struct trv_pending_call {
  const trv_vm_context* caller = nullptr;
  trv_pending_kind kind = trv_pending_script;
};

inline constexpr uint64_t trv_no_eta = ~uint64_t{0};

// Takes the tasks that have ended out of a list of tasks (a task's routines, a global task's
// registered tasks): their entries expire in place when they end.
inline void trv_sweep_ended_tasks(std::vector<trvptr_weak<trv_task>>& list) {
  std::erase_if(list, [](const trvptr_weak<trv_task>& entry) { return entry.expired(); });
}

// Frames at most on one task's stack; a deeper script recursion is a runtime error.
inline constexpr size_t trv_max_frames = 100000;
// Tasks run synchronously inside one another (native code running a callback that runs native
// code that runs a callback ...) at most this deep on one thread.
inline constexpr uint32_t trv_max_task_nesting = 64;

struct trv_task : public trvptr_base<trv_task> {
  using result_callback = std::function<void(trvvar_shared&)>;

  trv_task();
  ~trv_task() override;
  bool pooled_control_block_allowed() const override { return false; }
  // Drops every owned structure; stays alive while other strong pointers remain.
  void release() override;

  trvptr_strong<trv_compiled_unit> unit;
  trvptr_strong<trv_program_block> definition;
  uint8_t routine = 0;
  trvptr_weak<trv_task> parent;
  std::vector<trvptr_weak<trv_task>> children;
  trvptr_weak<trv_task> global_root;
  std::vector<trvptr_weak<trv_task>> registered;
  uint64_t start_time = 0;  // milliseconds
  std::string name = "TASK";
  result_callback on_complete;
  result_callback on_error;
  uint8_t scheduled = 0;
  uint8_t waiting = 0;
  uint64_t eta = trv_no_eta;
  uint64_t schedule_order = 0;  // among tasks of equal eta, the earlier scheduled runs first
  // The jobs whose worker may still touch this task.
  std::atomic<uint8_t> thread_job{0};
  trvptr_strong<trvvar_ptr_function_lambda> captures;
  trvptr_weak<trvobject_base> bound_object;
  uint8_t active = 0;
  uint8_t stop = 0;
  std::vector<trv_vm_context*> frames;
  std::vector<trv_vm_context*> prepared;
  // The calls prepared and not yet executed, newest last.
  std::vector<trv_pending_call> pending_calls;
  std::vector<trv_native_call> native_calls;
  std::vector<trvvar_shared> stack;
  std::vector<trvptr_strong<trvvector_shared<trvvar_shared>>> argument_lists;
  int32_t argument_depth = 0;
  trvvar_shared pending_error;
  // A plain none record the interpreter keeps for its next integer or float result, so that a
  // loop making and dropping temporaries takes nothing from the pool.
  trvvar_shared spare_record;
  // A routine's first frame from its last run, its locals reset, kept for its next run (a
  // callback's routine runs once per entry of a walk); null when there is none.
  trv_vm_context* parked = nullptr;
  trv_runtime* runtime = nullptr;  // where it is scheduled; the creating thread's runtime
  // While task_continue runs: the runtime the running thread owns (null: none), so that frames
  // come from and go back to its pool without a lookup of the thread's state.
  trv_runtime* owned = nullptr;

  // Starts the task now with optional arguments; false when it cannot run. A string argument
  // held only by its entry in `args` may be moved into its parameter, leaving the entry empty.
  bool run(std::vector<trvvar_shared>* args = nullptr);
  // The same on the calling thread's record, for a caller that has it at hand and holds a strong
  // pointer to the task: finishing the run can drop every other.
  bool run(std::vector<trvvar_shared>* args, trv_thread_local& thread);
  // Starts the task after `delay_ms` (all ones: never, until woken), arguments as for run.
  bool schedule(uint64_t delay_ms, std::vector<trvvar_shared>* args = nullptr);
  // Runs the innermost frames until the task finishes or must wait; false while it waits for
  // a value from elsewhere.
  bool task_continue();
  // Ends a task that can never go on (it waits for what nothing left will do): it stops
  // waiting and being scheduled, its completion and error callbacks are dropped unrun (they
  // hold what waits on it, often in a cycle with it), and then its frames and stacks.
  void abandon();
  // Drops the calls that the innermost frame prepared and has not made, newest first.
  void drop_calls_of_top();
  // Takes a routine's first frame, popped at the end of a run: parked when nothing else holds
  // it and no frame is parked yet, else released; `owned` as for trv_vm_context_release.
  void park_first_frame(trv_vm_context* frame, trv_runtime* owned);
  // Whether a routine that this task started is still alive; the ended ones are swept out of
  // its list, so that asking again costs nothing more. Inline: a callback walk asks before
  // every call, mostly of a task that started none.
  bool has_live_children() {
    if (children.empty()) return false;
    trv_sweep_ended_tasks(children);
    return !children.empty();
  }

 private:
  // Each takes the calling thread's record, looked up once per run by its caller, who also
  // holds the task: finishing it can drop every other strong pointer to it.
  bool prepare_start(std::vector<trvvar_shared>* args, trv_thread_local& thread);
  bool continue_on(trv_thread_local& thread);
  // Acts on the status the innermost frame returned and runs frames on until the task finishes
  // (true) or waits (false).
  bool run_frames(size_t base, trv_thread_local& thread, uint32_t status);
  // The first frame's start for a run with `args` (null: none): its state reset, its bound
  // object and captures set, the arguments stored and parameters without one cleared.
  void start_first_frame(trv_vm_context& first, std::vector<trvvar_shared>* args, trv_runtime* own);
  // A routine run again on its parked frame (a callback once per entry) takes the short road
  // of run_parked when nothing about it needs the checks of prepare_start: nothing under way,
  // nothing to call back, the arguments fitting, and no debug lines to write.
  bool parked_run_fits(const std::vector<trvvar_shared>& args,
                       const trv_thread_local& thread) const;
  void run_parked(std::vector<trvvar_shared>& args, trv_thread_local& thread);
  // A run has ended: the task is neither active, nor stopped, nor scheduled.
  void mark_ended();
  // Whether the parked road's first frame returned from the routine with nothing left for the
  // general handling of `status` to do but to pop it.
  bool returned_alone(uint32_t status, const trv_vm_context& first) const;
  // The next three are inlined where they are used: every run of a callback's routine, one per
  // entry of a container that a callback walks, passes through each of them.
  // The result slot of a new run: the only entry of the operand stack, a fresh none.
  void reset_result_slot(trv_runtime* owned);
  // Pops frames above `base` until the innermost block is of `kind` or `other_kind`; false
  // when none is (break, continue or return then ends the task). A frame left below the one
  // found is suspended and resumes when it is back on top.
  bool pop_to_kind(size_t base, uint32_t kind, uint32_t other_kind);
  // Pops finished frames down to one that is suspended (for an error: one that resumes at a
  // catch); true when nothing is left above `base` and the task is finished.
  bool unwind_to_suspended(size_t base, bool error);
  // An error reached the base: the error callback gets a new none.
  void fail_at_base();
  // The completion callback gets the result slot, or a new none when an error ended the task.
  void finish(size_t base, const trv_thread_local& thread, bool failed);
  // Drops the calls prepared and not yet executed, with their frames. Inlined as the three
  // above: every run's finish passes here, mostly with nothing to drop.
  void drop_pending_calls();
  // The first frame of a new run: the parked one when there is one, else a new one. Inlined as
  // the ones above: every run of a callback's routine takes its parked frame here.
  trv_vm_context* first_frame(trv_runtime* owned);
  // Releases the frames above `base` at the end of a run, the first one as park_first_frame.
  void end_frames(size_t base, trv_runtime* owned);
  void drop_structures();
};

// Milliseconds of the 100-nanosecond tick clock.
uint64_t trv_now_ms();

// A new task for `function`: a live TRVVAR_FUNCTION gives its definition, scope, bound object
// and captures; anything else gives an empty pointer. `caller` is the calling context (null:
// the current task of the calling thread). A routine (a definition not of a global block)
// must belong to the caller's global scope; the failures are runtime errors.
trvptr_strong<trv_task> trv_task_for_function(trvvar& function, trv_vm_context* caller);
// A new global task for a global block, the root of its own scope.
trvptr_strong<trv_task> trv_task_for_block(const trvptr_strong<trv_program_block>& block);

// The root of a task's scope chain: for a routine, the global task it was linked to (null when
// that has ended); for another task, its parent links followed to the end.
trv_task* trv_task_scope_root(trv_task* task);

// Makes `task` a child of `creator` and registers it with the global task `root`. An ended
// task's entries in those lists expire and are swept out when a list is full rather than as
// each task ends, which would walk a list once per task that ends.
void trv_task_link(trv_task& task, trv_task& creator, trv_task& root);

// Why a task of `block` cannot start with `count` arguments ("Too many params.", "Not enough
// parameters."), or null when it can.
const char* trv_argument_count_problem(const trv_program_block& block, size_t count);

// Pops the innermost frame and releases it, with the operand entries it pushed (never the
// task's result slot); `report` logs their count as a warning when there are any.
inline void trv_task_pop_frame(trv_task& task, bool report);
void trv_task_report_cleared(size_t count);
// The debug line of a new task, naming its parent when it has one.
void trv_task_report_created(const trv_task& task);

// The innermost frame has ended (its code ran out, or a function returned from its own frame)
// and the frame below it is suspended, waiting for it: the ended frame is dropped as the task
// loop drops it and the one below is returned, to resume. Null, with nothing changed, when
// there is no suspended frame below. Inline: every return from a script call passes here.
inline trv_vm_context* trv_task_resume_caller(trv_task& task);

// The context's status becomes 32 and its task goes on the runtime's waiting list.
void trv_task_wait(trv_vm_context& context);
// A waiting task leaves the waiting list and is scheduled without delay.
void trv_task_wake(trv_task& task);

// The runtime's schedule heap: the due task with the earliest eta, taken off the heap (empty
// when none is due at `now_ms`), and the eta of the earliest task (trv_no_eta: none).
trvptr_strong<trv_task> trv_runtime_take_due(trv_runtime& rt, uint64_t now_ms);
uint64_t trv_runtime_next_eta(const trv_runtime& rt);

[[gnu::always_inline]] inline void trv_task_pop_frame(trv_task& task, bool report) {
  trv_vm_context* frame = task.frames.back();
  if (!task.pending_calls.empty() && task.pending_calls.back().caller == frame) [[unlikely]] {
    task.drop_calls_of_top();
  }
  task.frames.pop_back();
  // Most frames end with nothing left pushed, a function's return among them.
  if (frame->stack_depth > 0) {
    const size_t droppable = task.stack.empty() ? 0 : task.stack.size() - 1;
    const size_t pushed = static_cast<size_t>(frame->stack_depth);
    const size_t count = pushed < droppable ? pushed : droppable;
    if (count > 0) {
      if (report) trv_task_report_cleared(count);
      task.stack.resize(task.stack.size() - count);
    }
  }
  if (task.frames.empty()) {
    task.park_first_frame(frame, task.owned);
  } else {
    trv_vm_context_release(frame, task.owned);
  }
}

[[gnu::always_inline]] inline trv_vm_context* trv_task_resume_caller(trv_task& task) {
  std::vector<trv_vm_context*>& frames = task.frames;
  if (frames.size() < 2 || !frames[frames.size() - 2]->running) return nullptr;
  trv_vm_context* ended = frames.back();
  ended->running = 0;
  ended->saved_position = 0;
  trv_task_pop_frame(task, false);
  return frames.back();
}
