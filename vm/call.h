#pragma once

// Calls: preparing them (instruction 44), storing their arguments (45), executing them (46),
// and the one path by which anything calls a native function: the interpreter, the host and
// the tests alike.

#include <cstdint>
#include <vector>

#include "values/var.h"

class trv_function_def;
class trv_program_block;
class trv_vm_context;
class trvobject_base;
struct trv_task;

// Calls a native definition with the caller's context: the argument count checked against
// its limits ("invalid parameter count ..."), the context's native object set to `object`
// for the call, and every exception turned into the runtime error "NAME: message". The result
// may be an empty handle; after an error it is.
trvvar_shared trv_call_native(trv_vm_context& caller, const trv_function_def& definition,
                              trvobject_base* object, std::vector<trvvar_shared>& args);

// Prepares a call of `callee` (already dereferenced) with `argument_count` arguments for the
// caller's task: a script function gets a prepared frame, a native one an argument list, a
// class definition is called through its constructor. Failures are runtime errors and leave
// nothing prepared; returns whether a call was prepared.
bool trv_call_prepare(trv_vm_context& caller, trvvar& callee, uint32_t argument_count);
// Prepares a call of native method `definition` bound to `object`, as calling the method's
// bound value would, without making that value. False, with nothing prepared and nothing
// reported, when the argument count does not fit: the caller then takes the ordinary road,
// which reports it.
bool trv_call_prepare_method(trv_vm_context& caller, trv_function_def& definition,
                             trvobject_base& object, uint32_t argument_count);
// Prepares a call of script method `block` bound to `bound_object` in `scope`, as calling the
// method's bound value would, without making that value; false as for trv_call_prepare_method.
bool trv_call_prepare_bound(trv_vm_context& caller, trv_program_block& block, trv_task* scope,
                            const trvptr_weak<trvobject_base>& bound_object,
                            uint32_t argument_count);
// Stores `value` into parameter slot `index`, which the frame's block has: a reference for a
// by-reference parameter (to none for an empty handle), else the value (an empty handle
// changes nothing). A `given` value is one the caller gives up: a string nothing else holds
// then goes into the slot as it is instead of a copy.
void trv_call_store_parameter(trv_vm_context& frame, uint32_t index, trvvar_shared& value,
                              bool given);
// Stores `value` as argument `index` of the newest pending call.
void trv_call_store_argument(trv_vm_context& caller, uint32_t index, trvvar_shared& value);
// Executes the newest pending call and drops it. A native call's result replaces the top of
// the operand stack; a script call moves its frame onto the frame stack and suspends the
// caller (status 16).
void trv_call_execute(trv_vm_context& caller);

// Opens an argument list at the next depth with `count` empty handles; false (after a runtime
// error) when the count is beyond what a call can take.
bool trv_arguments_open(trv_task& task, int64_t count);
