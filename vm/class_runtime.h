#pragma once

// What the interpreter and the calls do with script classes: the instructions that bind, read
// and create instances, member access by name with its per-site cache and privacy rule, calls
// of a class (its constructor), and operator methods, which run as ordinary script calls: the
// calling frame suspends (status 16) with the operand and a result slot pushed, and the
// result is stored by its mode when the frame resumes. Installs the class hooks of the value
// layer (values/class_hooks.h).

#include <cstdint>
#include <string_view>

#include "values/var.h"

class trv_class_def;
class trv_vm_context;
struct trv_member_cache_entry;

// bind_this: the frame's bound object := the instance held by `value`, or none.
void trv_class_bind_this(trv_vm_context& frame, trvvar& value);
// this: a new TRVVAR_CLASS for the frame's bound instance; "object not valid." when gone.
trvvar_shared trv_class_this(trv_vm_context& frame);
// member: member `index` of the frame's bound instance; "class not valid." when gone.
trvvar_shared trv_class_bound_member(trv_vm_context& frame, int64_t index, bool method);
// new_instance: a new instance of the frame's block's class, taking over the frame's locals.
trvvar_shared trv_class_new_instance(trv_vm_context& frame);

// Member `name` of a live instance read by code of class `accessing` (null: no class), through
// the access site's cache; unknown and private members are runtime errors.
trvvar_shared trv_class_get_member(trvvar& instance, std::string_view name,
                                   trv_member_cache_entry& cache, const trv_class_def* accessing);
// Prepares a call, with `argument_count` arguments, of the method of live instance `value` that
// the get_member instruction at `site` in the caller's block reads (its member name, cache
// entry and accessing class), as calling its bound value would, without making that value:
// the instance stays where it is until the call is made, so a method of a temporary
// (`K(1).get()`) runs on a live instance. The site's cache entry holds the method for the
// instance's class afterwards. The interpreter passes the instruction, not its three operands:
// fewer values live across the call keep its loop's registers for every other instruction. False, with nothing prepared, when the member is no method the
// site may read: the ordinary road then reads the member (checking privacy) and reports
// what fails.
bool trv_class_prepare_method(trv_vm_context& caller, trvvar& value, const uint8_t* site,
                              uint32_t argument_count);
// Whether keyed access may read `key` of a live instance from code of class `accessing`; false
// after the runtime error (a private member, or a numeric key: instances have no elements).
bool trv_class_key_allowed(trvvar& instance, trvvar& key, const trv_class_def* accessing);

// A new function value for the constructor of the class `callee` (a TRVVAR_CLASS_DEF) in the
// caller's scope; empty after "Invalid class definition.".
trvvar_shared trv_class_constructor(trv_vm_context& caller, trvvar& callee);

// Completes the operator call a resumed frame was suspended for: pops the two entries it
// pushed and stores the method's result in the top by the frame's pending-operator mode.
void trv_class_finish_operator(trv_vm_context& frame);
