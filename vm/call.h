#pragma once

// Calls: preparing them (instruction 44), storing their arguments (45), executing them (46),
// and the one path by which anything calls a native function: the interpreter, the host and
// the tests alike.

#include <cstdint>
#include <utility>
#include <vector>

#include "values/assign.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/var.h"
#include "vm/task.h"

class trv_function_def;
class trvobject_base;

// Calls a native definition with the caller's context: the argument count checked against
// its limits ("invalid parameter count ..."), the context's native object set to `object`
// for the call, and every exception turned into the runtime error "NAME: message". The result
// may be an empty handle; after an error it is.
trvvar_shared trv_call_native(trv_vm_context& caller, const trv_function_def& definition,
                              trvobject_base* object, std::vector<trvvar_shared>& args);

// Prepares a call of `callee` (already dereferenced) with `argument_count` arguments for the
// caller's task: a script function gets a prepared frame, a native one an argument list, a
// class definition is called through its constructor. Failures are runtime errors and leave
// nothing prepared; returns whether a call was prepared. A script function's call, the common
// one, is prepared inline; every other kind goes to trv_call_prepare_other.
inline bool trv_call_prepare(trv_vm_context& caller, trvvar& callee, uint32_t argument_count);
// The script function's road (a callee of type TRVVAR_FUNCTION).
inline bool trv_call_prepare_script(trv_vm_context& caller, trvvar& callee,
                                    uint32_t argument_count);
// Every other kind of callee, out of line.
bool trv_call_prepare_other(trv_vm_context& caller, trvvar& callee, uint32_t argument_count);
// Prepares a call of native method `definition` bound to `object`, as calling the method's
// bound value would, without making that value. False, with nothing prepared and nothing
// reported, when the argument count does not fit: the caller then takes the ordinary road,
// which reports it.
bool trv_call_prepare_method(trv_vm_context& caller, trv_function_def& definition,
                             trvobject_base& object, uint32_t argument_count);
// Calls native method `definition` bound to `object` at once with no arguments, its result
// replacing the top of the operand stack, as preparing and executing that call would; false,
// with nothing called or reported, when the method needs arguments.
bool trv_call_method_now(trv_vm_context& caller, trv_function_def& definition,
                         trvobject_base& object);
// Prepares a call of script method `block` bound to `bound_object` in `scope`, as calling the
// method's bound value would, without making that value; false as for trv_call_prepare_method.
bool trv_call_prepare_bound(trv_vm_context& caller, trv_program_block& block, trv_task* scope,
                            const trvptr_weak<trvobject_base>& bound_object,
                            uint32_t argument_count);
// Stores `value` into parameter slot `index`, which the frame's block has: a reference for a
// by-reference parameter (to none for an empty handle), else the value (an empty handle
// changes nothing). A `given` value is one the caller gives up: a string nothing else holds
// then goes into the slot as it is instead of a copy, and the slot's old record goes back to
// the pool of `owned`, the calling thread's owned runtime, when there is one.
inline void trv_call_store_parameter(trv_vm_context& frame, uint32_t index, trvvar_shared& value,
                                     bool given, trv_runtime* owned = nullptr);
// Stores `value` as argument `index` of the newest pending call. A script call's parameter,
// the common case, is stored inline; everything else goes to trv_call_store_any_argument.
inline void trv_call_store_argument(trv_vm_context& caller, uint32_t index, trvvar_shared& value);
// The inline case alone: stores `value` when the newest pending call is a script call whose
// frame has slot `index`, which cannot fail; false, with nothing stored, otherwise.
inline bool trv_call_store_script_argument(trv_vm_context& caller, uint32_t index,
                                           trvvar_shared& value);
// The same for every case, out of line: a native call's argument, and the errors.
void trv_call_store_any_argument(trv_vm_context& caller, uint32_t index, trvvar_shared& value);
// Executes the newest pending call and drops it. A script call moves its frame onto the frame
// stack, suspends the caller (status 16) and returns the frame; a native call's result
// replaces the top of the operand stack, and null is returned. Inline: every script call
// passes here, and the interpreter then runs the frame without going back to its loop.
inline trv_vm_context* trv_call_execute(trv_vm_context& caller);
// The other half: the newest pending call is native or skipped (which gives none), or there
// is none (an error).
void trv_call_execute_native(trv_vm_context& caller);

// Opens an argument list at the next depth with `count` empty handles; false (after a runtime
// error) when the count is beyond what a call can take.
bool trv_arguments_open(trv_task& task, int64_t count);

// The reports of a failed call, out of line so that the inline roads need no stack frame for
// their formatting; each returns false.
[[gnu::cold]] bool trv_call_report_not_callable();
[[gnu::cold]] bool trv_call_report_too_deep();
[[gnu::cold]] bool trv_call_report_argument_count(const trv_program_block& block, uint32_t count);

namespace trv_call_detail {

// A string argument that nothing but its handle holds, whose text nothing else holds either,
// goes as it is into a parameter slot holding an unshared plain value: copying it there and
// dropping the original would leave the same, at the cost of a second string.
inline bool taken_whole(const trvvar_shared& argument, const trvvar_shared& slot) {
  return argument->refcount == 1 && argument->flags == 0 && argument->type == TRVVAR_STRING &&
         argument->payload.object.control_block()->strong_count == 1 && slot &&
         trvvar_unshared_plain(*slot);
}

// A script function's argument count: at most its parameters, and at least its minimum unless
// no argument is given at all.
inline bool script_count_fits(const trv_program_block& block, uint32_t count) {
  if (count > block.parameter_count) return false;
  return block.minimum_argument_count == trv_no_minimum || count == 0 ||
         count >= block.minimum_argument_count;
}

// Prepares a frame for `block` run in the scope of `scope`'s root (the caller's scope without
// one), bound to `bound_object`; the count has been checked.
[[gnu::always_inline]] inline bool open_script_call(trv_vm_context& caller,
                                                    trv_program_block& block, trv_task* scope,
                                                    const trvptr_weak<trvobject_base>& bound_object,
                                                    trvvar_ptr_function_lambda* captures,
                                                    uint32_t count) {
  trv_task& task = *caller.task;
  if (task.frames.size() + task.prepared.size() >= trv_max_frames) {
    return trv_call_report_too_deep();
  }
  // A frame's scope is a root already, and most calls stay in it.
  if (scope == nullptr || scope == caller.scope) {
    scope = caller.scope;
  } else {
    scope = trv_task_scope_root(scope);
  }
  trv_vm_context* frame =
      trv_vm_context_create(&task, scope, &block, block.local_count, bound_object, task.owned);
  frame->argument_count = count;
  task.prepared.push_back(frame);
  task.pending_calls.push_back({&caller, trv_pending_script});
  if (captures != nullptr) trv_vm_context_capture(*frame, captures);
  return true;
}

}  // namespace trv_call_detail

[[gnu::always_inline]] inline bool trv_call_prepare_script(trv_vm_context& caller, trvvar& callee,
                                                           uint32_t argument_count) {
  trvvar_function_payload& function = *callee.payload.function_payload;
  trv_program_block* block = function.definition.get();
  if (block == nullptr) return trv_call_report_not_callable();
  if (!trv_call_detail::script_count_fits(*block, argument_count)) {
    return trv_call_report_argument_count(*block, argument_count);
  }
  return trv_call_detail::open_script_call(caller, *block, function.scope.get(),
                                           function.bound_object, function.captures.get(),
                                           argument_count);
}

[[gnu::always_inline]] inline void trv_call_store_parameter(trv_vm_context& frame, uint32_t index,
                                                            trvvar_shared& value, bool given,
                                                            trv_runtime* owned) {
  trvvar_shared& slot = frame.locals[index];
  const std::vector<uint8_t>& flags = frame.block->slot_flags;
  if (index < flags.size() && (flags[index] & TRVVAR_FLAG_BY_REFERENCE) != 0) {
    trvvar_make_ref(*slot, value.get());
  } else if (!value) {
    return;
  } else if (given && trv_call_detail::taken_whole(value, slot)) {
    trvvar_shared old = std::exchange(slot, std::move(value));
    if (owned != nullptr) trvvar_release_unshared_plain(old, *owned);
  } else if (!trvvar_set_plain(*slot, *value) && !trvvar_set_string_in_place(*slot, *value)) {
    trvvar_set(*slot, value);
  }
}

[[gnu::always_inline]] inline bool trv_call_store_script_argument(trv_vm_context& caller,
                                                                  uint32_t index,
                                                                  trvvar_shared& value) {
  trv_task& task = *caller.task;
  if (task.pending_calls.empty() || task.pending_calls.back().kind != trv_pending_script ||
      !value) {
    return false;
  }
  trv_vm_context& frame = *task.prepared.back();
  if (index >= frame.block->local_count) return false;
  trv_call_store_parameter(frame, index, value, false);
  return true;
}

[[gnu::always_inline]] inline void trv_call_store_argument(trv_vm_context& caller, uint32_t index,
                                                           trvvar_shared& value) {
  if (!trv_call_store_script_argument(caller, index, value)) {
    trv_call_store_any_argument(caller, index, value);
  }
}

[[gnu::always_inline]] inline trv_vm_context* trv_call_execute(trv_vm_context& caller) {
  trv_task& task = *caller.task;
  if (task.pending_calls.empty() || task.pending_calls.back().kind != trv_pending_script) {
    trv_call_execute_native(caller);
    return nullptr;
  }
  task.pending_calls.pop_back();
  trv_vm_context* const callee = task.prepared.back();
  task.prepared.pop_back();
  task.frames.push_back(callee);
  caller.status = 16;
  return callee;
}

[[gnu::always_inline]] inline bool trv_call_prepare(trv_vm_context& caller, trvvar& callee,
                                                    uint32_t argument_count) {
  if (callee.type == TRVVAR_FUNCTION)
    return trv_call_prepare_script(caller, callee, argument_count);
  return trv_call_prepare_other(caller, callee, argument_count);
}
