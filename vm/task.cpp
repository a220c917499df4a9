#include "vm/task.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <thread>

#include "glue/log.h"
#include "glue/platform/tick_clock.h"
#include "glue/thread_local.h"
#include "values/assign.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"
#include "values/runtime.h"
#include "vm/call.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"

namespace {

// Tasks running inside one another on this thread (a callback run by native code that a
// callback called ...); each level costs C stack.
thread_local uint32_t task_nesting = 0;

bool earlier_last(const trvptr_strong<trv_task>& a, const trvptr_strong<trv_task>& b) {
  return a->eta != b->eta ? a->eta > b->eta : a->schedule_order > b->schedule_order;
}

// Appends to a list of tasks, sweeping out the ended ones when it is full; when most entries
// are still alive after a sweep, the list doubles, so that each append costs a constant share
// of the sweeps and the ended entries are at most as many as the live ones were at the last.
void append_task(std::vector<trvptr_weak<trv_task>>& list, trv_task& task) {
  if (list.size() == list.capacity()) {
    trv_sweep_ended_tasks(list);
    if (list.size() > list.capacity() / 2) list.reserve(2 * list.capacity());
  }
  list.push_back(trvptr_weak<trv_task>::from(&task));
}

// `owned` is the calling thread's owned runtime, or null to look it up.
void release_frames(std::vector<trv_vm_context*>& frames, size_t keep, trv_runtime* owned) {
  while (frames.size() > keep) {
    trv_vm_context* frame = frames.back();
    frames.pop_back();
    trv_vm_context_release(frame, owned);
  }
}

uint32_t block_kind(const trv_vm_context* frame) { return frame->block->kind; }

// A frame that resumes at a catch instruction handles the error being unwound.
bool resumes_at_catch(const trv_vm_context* frame) {
  const trv_program_block& block = *frame->block;
  return frame->running && frame->saved_position < block.code.size() &&
         block.code[frame->saved_position] == TRV_OP_catch;
}

// The thread's current task and name for the duration of a task's run. A thread that runs
// one task after another mostly has the name already.
class current_task_scope {
 public:
  current_task_scope(trv_task& task, trv_thread_local& thread)
      : thread_(thread), outer_(thread.current_task), renamed_(thread.name != task.name) {
    thread_.current_task = &task;
    if (renamed_) name_ = std::exchange(thread_.name, task.name);
    ++task_nesting;
  }
  ~current_task_scope() {
    --task_nesting;
    thread_.current_task = outer_;
    if (renamed_) thread_.name = std::move(name_);
  }
  current_task_scope(const current_task_scope&) = delete;
  current_task_scope& operator=(const current_task_scope&) = delete;

 private:
  trv_thread_local& thread_;
  trv_task* outer_;
  bool renamed_;
  std::string name_;
};

// The runtime the running thread owns, set on a task for the duration of its run.
struct owned_scope {
  trv_task& task;
  trv_runtime* previous;
  ~owned_scope() { task.owned = previous; }
};

// An instruction's work threw: the error stops the innermost frame, which ran it, whatever
// encloses it, as one about broken code does. Its status is left as a stopped frame's, so the
// unwinding does not take it for suspended at the last call or block it made, and resume it at
// a catch it passed long ago.
uint32_t stop_innermost(trv_task& task, const char* message) {
  trv_runtime_error(message);
  trv_vm_context& failed = *task.frames.back();
  failed.running = 0;
  failed.saved_position = 0;
  return 128;
}

// The interpreter on `frame`. An instruction whose work throws (memory that cannot be had, a
// text past its maximum length) stops its frame with a runtime error, as any failing
// instruction does: nothing thrown leaves the task.
uint32_t interpret_guarded(trv_vm_context& frame, trv_runtime* owned) {
  try {
    return trv_interpret(frame, owned);
  } catch (const std::bad_alloc&) {
    return stop_innermost(*frame.task, "Out of memory.");
  } catch (const std::length_error&) {  // a size past what the library can hold
    return stop_innermost(*frame.task, "Out of memory.");
  } catch (const std::exception& error) {
    return stop_innermost(*frame.task, error.what());
  }
}

}  // namespace

uint64_t trv_now_ms() { return trv_ticks() / 10000; }

void trv_task_link(trv_task& task, trv_task& creator, trv_task& root) {
  task.parent = trvptr_weak<trv_task>::from(&creator);
  task.global_root = trvptr_weak<trv_task>::from(&root);
  append_task(creator.children, task);
  append_task(root.registered, task);
}

trv_task::trv_task()
    : start_time(trv_now_ms()),
      pending_error(trvvar_new()),
      runtime(trv_get_thread_local().runtime_state) {}

trv_task::~trv_task() {
  if (has_live_children()) {
    trv_log(TRV_LOG_ERROR, "Task ", static_cast<const void*>(this),
            " destroyed while children are still running! (", children.size(),
            " children remaining)");
  }
  if (thread_job.load(std::memory_order_acquire) != 0) {
    trv_log(TRV_LOG_DEBUG, "Task ", static_cast<const void*>(this), " waiting for thread...");
    while (thread_job.load(std::memory_order_acquire) != 0) std::this_thread::yield();
  }
  trv_log(TRV_LOG_DEBUG, "Task ", name, " ", static_cast<const void*>(this),
          " exited (Runtime = ", trv_now_ms() - start_time, " ms).");
  drop_structures();
}

void trv_task::release() {
  drop_structures();
  delete this;
}

[[gnu::always_inline]] inline void trv_task::drop_pending_calls() {
  // A run mostly ends with no call pending.
  if (prepared.empty() && pending_calls.empty() && native_calls.empty()) return;
  release_frames(prepared, 0, nullptr);
  pending_calls.clear();
  native_calls.clear();
}

void trv_task::drop_structures() {
  release_frames(frames, 0, nullptr);
  if (trv_vm_context* frame = std::exchange(parked, nullptr))
    trv_vm_context_release(frame, nullptr);
  drop_pending_calls();
  stack.clear();
  argument_lists.clear();
  argument_depth = 0;
  spare_record.reset();
}

[[gnu::always_inline]] inline trv_vm_context* trv_task::first_frame(trv_runtime* owned) {
  trv_task* scope = trv_task_scope_root(this);
  trv_vm_context* frame = std::exchange(parked, nullptr);
  if (frame == nullptr) {
    return trv_vm_context_create(this, scope, definition.get(), definition->local_count,
                                 bound_object, owned);
  }
  frame->scope = scope;
  frame->stack_depth = 0;
  return frame;
}

bool trv_task::prepare_start(std::vector<trvvar_shared>* args, trv_thread_local& thread) {
  trv_runtime* const own = trv_owned_runtime(thread);
  if (frames.empty() && definition) frames.push_back(first_frame(own));
  if (frames.empty() || active) {
    trv_log(TRV_LOG_ERROR, "Cannot run task!");
    return false;
  }
  if (!prepared.empty()) {
    trv_log(TRV_LOG_ERROR, "TODO: Cleanup old routine data here!");
    drop_pending_calls();
  }
  reset_result_slot(own);
  release_frames(frames, 1, own);
  trv_vm_context& first = *frames.front();
  if (args != nullptr) {
    if (const char* problem = trv_argument_count_problem(*first.block, args->size())) {
      trv_runtime_error(problem);
      return false;
    }
  }
  active = 1;
  trv_log_on(thread, TRV_LOG_DEBUG, "Task ", static_cast<const void*>(this), " started.");
  start_first_frame(first, args, own);
  return true;
}

[[gnu::always_inline]] inline void trv_task::start_first_frame(trv_vm_context& first,
                                                               std::vector<trvvar_shared>* args,
                                                               trv_runtime* own) {
  const trv_program_block& block = *first.block;
  first.argument_count = 0;
  first.status = 0;
  first.saved_position = 0;
  first.running = 0;
  first.default_argument_in_progress = 0;
  first.pending_operator_mode = 0;
  first.bound_object = bound_object;
  trv_vm_context_capture(first, captures.get());
  if (args != nullptr) {
    first.argument_count = static_cast<uint32_t>(args->size());
    // A block with fewer slots than parameters is refused when it runs; nothing is stored
    // past its slots before.
    for (size_t i = 0; i < args->size() && i < block.local_count; ++i) {
      trv_call_store_parameter(first, static_cast<uint32_t>(i), (*args)[i], true, own);
    }
  }
  // A parameter without an argument starts as none, whatever a parked frame kept in it.
  const size_t parameters = std::min<size_t>(block.parameter_count, block.local_count);
  for (size_t i = first.argument_count; i < parameters; ++i) {
    if (first.locals[i]->type != TRVVAR_NONE) trv_vm_context_reset_local(first.locals[i], own);
  }
}

void trv_task::end_frames(size_t base, trv_runtime* owned) {
  if (base > 0 || frames.empty()) {
    release_frames(frames, base, owned);
    return;
  }
  release_frames(frames, 1, owned);
  trv_vm_context* first = frames.back();
  frames.pop_back();
  park_first_frame(first, owned);
}

void trv_task::park_first_frame(trv_vm_context* frame, trv_runtime* owned) {
  if (!routine || parked != nullptr || frame->refcount != 1) {
    trv_vm_context_release(frame, owned);
    return;
  }
  trv_vm_context_park(*frame, owned);
  // Parking released the locals, which can run code that ran this routine again.
  if (parked == nullptr) {
    parked = frame;
  } else {
    trv_vm_context_release(frame, owned);
  }
}

[[gnu::always_inline]] inline void trv_task::mark_ended() {
  active = 0;
  stop = 0;
  scheduled = 0;
}

[[gnu::always_inline]] inline void trv_task::reset_result_slot(trv_runtime* owned) {
  if (stack.size() == 1 && stack.front() && trvvar_unshared_plain(*stack.front())) {
    trvvar_clear_plain(*stack.front());
    return;
  }
  stack.clear();
  stack.push_back(trvvar_new(owned));
}

const char* trv_argument_count_problem(const trv_program_block& block, size_t count) {
  if (count > block.parameter_count) return "Too many params.";
  if (block.minimum_argument_count != trv_no_minimum && count < block.minimum_argument_count) {
    return "Not enough parameters.";
  }
  return nullptr;
}

bool trv_task::run(std::vector<trvvar_shared>* args) {
  const trvptr_strong<trv_task> self = trvptr_strong<trv_task>::from(this);
  return run(args, trv_get_thread_local());
}

bool trv_task::run(std::vector<trvvar_shared>* args, trv_thread_local& thread) {
  if (args != nullptr && parked_run_fits(*args, thread)) {
    run_parked(*args, thread);
  } else {
    if (!prepare_start(args, thread)) return false;
    continue_on(thread);
  }
  if (active && !waiting) schedule(0);
  return true;
}

bool trv_task::parked_run_fits(const std::vector<trvvar_shared>& args,
                               const trv_thread_local& thread) const {
  return parked != nullptr && routine && frames.empty() && !active && prepared.empty() &&
         !on_complete && !on_error && task_nesting < trv_max_task_nesting &&
         trv_argument_count_problem(*parked->block, args.size()) == nullptr &&
         trv_logger_taking(TRV_LOG_DEBUG, thread) == nullptr;
}

void trv_task::run_parked(std::vector<trvvar_shared>& args, trv_thread_local& thread) {
  trv_runtime* const own = trv_owned_runtime(thread);
  trv_vm_context& first = *first_frame(own);
  frames.push_back(&first);
  reset_result_slot(own);
  active = 1;
  start_first_frame(first, &args, own);
  // A run that continue_on refuses goes to it. These are asked only now: letting go of the last
  // result and of old arguments above can run a destructor.
  if (stop || parent.expired() || global_root.expired()) {
    continue_on(thread);
    return;
  }
  current_task_scope current(*this, thread);
  const owned_scope owned_for_run{*this, std::exchange(owned, own)};
  const uint32_t status = interpret_guarded(first, own);
  if (!returned_alone(status, first)) {
    run_frames(0, thread, status);
    return;
  }
  // What the return and finish() do for a first frame that returned with its value alone on
  // the stack and nothing to call back; whether to write debug lines was asked at the start.
  mark_ended();
  first.running = 0;
  first.saved_position = 0;
  trv_task_pop_frame(*this, false);
}

bool trv_task::returned_alone(uint32_t status, const trv_vm_context& first) const {
  if (status != 8 || frames.size() != 1 || frames.back() != &first) return false;
  const trv_program_block& block = *first.block;
  return block.kind == TRV_BLOCK_FUNCTION && block.exit_position >= block.code.size() &&
         first.stack_depth == 0 && stack.size() == 1 && stack.front() && !on_complete && !on_error;
}

bool trv_task::schedule(uint64_t delay_ms, std::vector<trvvar_shared>* args) {
  if (!active && !prepare_start(args, trv_get_thread_local())) return false;
  if (scheduled || runtime == nullptr) return true;
  eta = delay_ms == trv_no_eta ? trv_no_eta : trv_now_ms() + delay_ms;
  trv_log(TRV_LOG_DEBUG, "Task ", static_cast<const void*>(this), " scheduled (eta: ", eta, ").");
  schedule_order = runtime->schedule_count++;
  runtime->schedule_heap.push_back(trvptr_strong<trv_task>::from(this));
  std::push_heap(runtime->schedule_heap.begin(), runtime->schedule_heap.end(), earlier_last);
  scheduled = 1;
  if (delay_ms == 0 && runtime->wake_up) runtime->wake_up();
  return true;
}

bool trv_task::task_continue() {
  const trvptr_strong<trv_task> self = trvptr_strong<trv_task>::from(this);
  return continue_on(trv_get_thread_local());
}

void trv_task::abandon() {
  const trvptr_strong<trv_task> self = trvptr_strong<trv_task>::from(this);
  active = 0;
  waiting = 0;
  scheduled = 0;
  stop = 1;
  // Taken out before they go: what they release may reach this task.
  const result_callback complete = std::exchange(on_complete, nullptr);
  const result_callback error = std::exchange(on_error, nullptr);
  drop_structures();
}

bool trv_task::continue_on(trv_thread_local& thread) {
  if (!active || (routine && (parent.expired() || global_root.expired()))) {
    trv_log(TRV_LOG_ERROR, "task_continue called while the task was not active!");
    // A routine whose parent is gone never runs again, nor one whose global scope is gone (its
    // frames name that scope): it ends as after an error, so that what waits for its value
    // goes on and what its completion holds is let go.
    if (active && !frames.empty()) {
      fail_at_base();
      finish(block_kind(frames.front()) == TRV_BLOCK_GLOBAL ? 1 : 0, thread, true);
    }
    return false;
  }
  const size_t base = block_kind(frames.front()) == TRV_BLOCK_GLOBAL ? 1 : 0;
  if (task_nesting >= trv_max_task_nesting) {
    // Refused: the error is reported to the task that asked, and this one ends as after an
    // error, so that nothing schedules it to try again. The asker's frame goes on: one that
    // waits for this routine's value (a walk over entries) still waits for its wake-up, and
    // the asker may be in the middle of releasing a value whose destructor this is, where
    // stopping it would put a none into whatever slot of its operand stack is on top.
    trv_runtime_error_continuing("Maximum callback depth exceeded.");
    fail_at_base();
    finish(base, thread, true);
    return true;
  }
  current_task_scope current(*this, thread);
  const owned_scope owned_for_run{*this, std::exchange(owned, trv_owned_runtime(thread))};
  if (stop) return true;
  return run_frames(base, thread, interpret_guarded(*frames.back(), owned));
}

bool trv_task::run_frames(size_t base, trv_thread_local& thread, uint32_t status) {
  bool finished = false;
  bool failed = false;
  for (;;) {
    // The frame that raised the status: the run may have moved on from the one it started with.
    trv_vm_context* frame = frames.back();
    switch (status) {
      case 2:  // break: the loop block resumes at its last instruction or is left
        if (!pop_to_kind(base, TRV_BLOCK_LOOP, TRV_BLOCK_LOOP)) {
          finished = true;
        } else if (frames.back()->block->break_target) {
          frames.back()->saved_position =
              static_cast<uint32_t>(frames.back()->block->code.size() - 8);
        } else {
          trv_task_pop_frame(*this, false);
          finished = frames.empty();
        }
        break;
      case 4:  // continue: a loop block resumes, a function is left
        if (!pop_to_kind(base, TRV_BLOCK_LOOP, TRV_BLOCK_FUNCTION)) {
          finished = true;
        } else if (block_kind(frames.back()) == TRV_BLOCK_FUNCTION) {
          trv_task_pop_frame(*this, false);
          finished = frames.empty();
        }
        break;
      case 8:  // return: the loop or function block resumes at its exit position
        if (!pop_to_kind(base, TRV_BLOCK_LOOP, TRV_BLOCK_FUNCTION)) {
          finished = true;
        } else if (frames.back() == frame &&
                   frame->block->exit_position >= frame->block->code.size()) {
          // Resuming the returning frame at its code end would only end its block.
          frame->running = 0;
          frame->saved_position = 0;
          finished = unwind_to_suspended(base, false);
        } else {
          frames.back()->saved_position = frames.back()->block->exit_position;
        }
        break;
      case 16:  // a call or a nested block: the new innermost frame runs next
        if (frames.size() > trv_max_frames) {
          trv_task_pop_frame(*this, false);
          trv_runtime_error("Maximum call depth exceeded.");
        }
        break;
      case 32:  // waiting for a value from another thread
        return false;
      case 64:  // block finished
        finished = unwind_to_suspended(base, false);
        break;
      default:  // 128: a runtime error stopped the frame
        trv_log(TRV_LOG_DEBUG,
                "TODO: Implement proper called blocks cleanup and termination (try catch or "
                "block / function based ?).");
        finished = unwind_to_suspended(base, true);
        if (finished) {
          fail_at_base();
          failed = true;
        }
        break;
    }
    if (stop || finished) break;
    status = interpret_guarded(*frames.back(), owned);
  }
  if (finished) finish(base, thread, failed);
  return true;
}

[[gnu::always_inline]] inline bool trv_task::pop_to_kind(size_t base, uint32_t kind,
                                                         uint32_t other_kind) {
  while (frames.size() > base) {
    const uint32_t top = block_kind(frames.back());
    if (top == kind || top == other_kind) return true;
    trv_task_pop_frame(*this, false);
  }
  return false;
}

[[gnu::always_inline]] inline bool trv_task::unwind_to_suspended(size_t base, bool error) {
  while (!frames.empty()) {
    const trv_vm_context* top = frames.back();
    if (top->running && (!error || resumes_at_catch(top))) return false;
    if (frames.size() <= base) break;
    trv_task_pop_frame(*this, error);
  }
  return true;
}

void trv_task::drop_calls_of_top() {
  const trv_vm_context* frame = frames.back();
  while (!pending_calls.empty() && pending_calls.back().caller == frame) {
    const trv_pending_kind kind = pending_calls.back().kind;
    pending_calls.pop_back();
    if (kind == trv_pending_native) {
      const trv_native_call call = std::move(native_calls.back());
      native_calls.pop_back();
      argument_depth = call.depth - 1;
      // Taken out before release: a released argument can run a destructor.
      std::vector<trvvar_shared> arguments =
          std::move(*argument_lists[static_cast<size_t>(call.depth)]);
    } else if (kind == trv_pending_script) {
      trv_vm_context* callee = prepared.back();
      prepared.pop_back();
      trv_vm_context_release(callee, owned);
    }
  }
}

void trv_task::fail_at_base() {
  if (!on_error) return;
  trvvar_shared none = trvvar_new();
  on_error(none);
}

void trv_task::finish(size_t base, const trv_thread_local& thread, bool failed) {
  mark_ended();
  trv_log_on(thread, TRV_LOG_DEBUG, "Task ", name, " ", static_cast<const void*>(this),
             " finished.");
  trv_runtime* const own = trv_owned_runtime(thread);
  // Most runs have no callbacks and end with their value alone on the stack: nothing to move.
  result_callback complete;
  if (on_complete || on_error) {
    complete = std::move(on_complete);
    on_complete = nullptr;
    on_error = nullptr;
  }
  if (failed || stack.size() != 1 || !stack.front()) {
    trvvar_shared result =
        failed || stack.empty() || !stack.front() ? trvvar_new(own) : stack.front();
    stack.clear();
    stack.push_back(std::move(result));
  }
  // Held for the completion: releasing the frames can run code that changes the stack.
  trvvar_shared result = complete ? stack.front() : trvvar_shared();
  end_frames(base, own);
  drop_pending_calls();
  if (complete) complete(result);
}

trv_task* trv_task_scope_root(trv_task* task) {
  // A routine's chain of parents leads up to the global task it was linked to, which every
  // routine of the chain was linked to as well. A chain that ends at a routine lost a task in
  // between; that routine's first frame holds its own locals, not the globals, and it can end
  // while frames still name it as their scope: the global task stands in there too (null when
  // it has ended). So a routine answers at once, without a walk up a chain of any depth.
  if (task != nullptr && task->routine) return task->global_root.get();
  // A parent chain is a tree built from the top; the cap only guards against a broken one.
  for (int steps = 0; task != nullptr && steps < 1 << 20; ++steps) {
    trv_task* up = task->parent.get();
    if (up == nullptr) break;
    task = up;
  }
  if (task != nullptr && task->routine) return task->global_root.get();
  return task;
}

trvptr_strong<trv_task> trv_task_for_block(const trvptr_strong<trv_program_block>& block) {
  trvptr_strong<trv_task> task = trvptr_strong<trv_task>::from_new(new trv_task());
  task->definition = block;
  task->unit = block->unit;
  task->routine = block->kind != TRV_BLOCK_GLOBAL;
  trv_task_report_created(*task);
  return task;
}

void trv_task_report_created(const trv_task& task) {
  if (const trv_task* up = task.parent.get()) {
    trv_log(TRV_LOG_DEBUG, "Task (parent=", up->name, ") ", task.name, " ",
            static_cast<const void*>(&task), " created.");
  } else {
    trv_log(TRV_LOG_DEBUG, "Task ", task.name, " ", static_cast<const void*>(&task), " created.");
  }
}

namespace {

// Links a routine to the global scope it belongs to: the caller's, else that of the task
// running on this thread, else the function value's own scope. False after a runtime error.
bool link_routine(trv_task& task, trv_vm_context* caller, trv_task* function_scope) {
  if (caller == nullptr) {
    trv_task* current = trv_get_thread_local().current_task;
    if (current != nullptr && trv_owned_runtime(trv_get_thread_local()) != nullptr &&
        !current->frames.empty()) {
      caller = current->frames.back();
    }
  }
  trv_task* scope = caller != nullptr ? caller->scope : function_scope;
  trv_task* creator = caller != nullptr ? caller->task : function_scope;
  if (scope == nullptr) {
    trv_runtime_error("Cannot create routine from non-global scope routine without context.");
    return false;
  }
  // A scope whose global task has ended has no root, and so no block to run in.
  trv_task* root = trv_task_scope_root(scope);
  if (root == nullptr) {
    trv_runtime_error("Global scope has no task block!");
    return false;
  }
  if (root->unit.get() != task.unit.get()) {
    trv_runtime_error(
        "Global scope root mismatch when creating routine, functions must be initialized "
        "within their global scope.");
    return false;
  }
  if (root->frames.empty()) {
    trv_runtime_error("Global scope has no task block!");
    return false;
  }
  if (creator == nullptr) creator = root;
  trv_task_link(task, *creator, *root);
  return true;
}

}  // namespace

trvptr_strong<trv_task> trv_task_for_function(trvvar& function, trv_vm_context* caller) {
  if (function.type != TRVVAR_FUNCTION) return {};
  trvvar_function_payload& payload = *function.payload.function_payload;
  trvptr_strong<trv_program_block> block = payload.definition.lock();
  if (!block) return {};
  trvptr_strong<trv_task> task = trvptr_strong<trv_task>::from_new(new trv_task());
  task->definition = block;
  task->unit = block->unit;
  task->routine = block->kind != TRV_BLOCK_GLOBAL;
  task->bound_object = payload.bound_object;
  task->captures = payload.captures;
  if (task->routine && !link_routine(*task, caller, payload.scope.get())) return {};
  trv_task_report_created(*task);
  return task;
}

void trv_task_report_cleared(size_t count) {
  trv_log(TRV_LOG_WARNING, "Clearing stack vars ", count);
}

void trv_task_wait(trv_vm_context& context) {
  context.status = 32;
  trv_task* task = context.task;
  if (task == nullptr || task->runtime == nullptr) return;
  if (task->waiting) return;  // listed once, however often its frames ask
  task->runtime->waiting.add(trvptr_strong<trv_task>::from(task));
  task->waiting = 1;
}

void trv_task_wake(trv_task& task) {
  if (!task.waiting) return;
  const trvptr_strong<trv_task> self = trvptr_strong<trv_task>::from(&task);
  task.runtime->waiting.remove(self);
  task.waiting = 0;
  // A task that has ended meanwhile has nothing to resume; scheduling would start it again.
  if (task.active) task.schedule(0);
}

trvptr_strong<trv_task> trv_runtime_take_due(trv_runtime& rt, uint64_t now_ms) {
  std::vector<trvptr_strong<trv_task>>& heap = rt.schedule_heap;
  if (heap.empty() || heap.front()->eta > now_ms) return {};
  std::pop_heap(heap.begin(), heap.end(), earlier_last);
  trvptr_strong<trv_task> task = std::move(heap.back());
  heap.pop_back();
  task->scheduled = 0;
  return task;
}

uint64_t trv_runtime_next_eta(const trv_runtime& rt) {
  return rt.schedule_heap.empty() ? trv_no_eta : rt.schedule_heap.front()->eta;
}
