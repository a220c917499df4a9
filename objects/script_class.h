#pragma once

// Instances of script classes.
//
// A class written in script code is described by its class definition, compiled code that the
// interpreter's layer builds and keeps (vm/class_def.h); instances see it through
// trv_class_shape. Each object of such a class is a trv_class holding one variable per
// instance member, in the definition's member order; methods and class-level values stay in
// the definition's function table. A TRVVAR_CLASS variable holds an instance through a strong
// pointer.
//
// When the last strong pointer goes the instance is released exactly once: it runs its class's
// destructor, if there is one, as a task of its own bound to the instance, and is destroyed
// when that task ends; without a destructor it is destroyed at once. Releases that happen while
// another is being carried out (an instance dropping the last reference to the next one) wait
// in a work list, so a long chain of instances never recurses.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "glue/object_ptr.h"
#include "values/var.h"

class trvobject_base;
struct trv_runtime;
struct trv_task;

// A member of a class: the instance variable at `index`, or with the method flag the entry at
// `index` of the class's function table.
struct trv_class_member {
  bool is_private = false;
  uint32_t index = 0;
  bool is_method = false;
};

// What an instance reads of its class definition.
class trv_class_shape : public trvptr_base<trv_class_shape> {
 public:
  bool pooled_control_block_allowed() const override { return false; }

  virtual const std::string& class_name() const = 0;
  virtual std::optional<trv_class_member> find_member(std::string_view name) = 0;
  // Methods (TRVVAR_FUNCTION) and class-level values, by member index.
  virtual std::vector<trvvar_shared>& function_table() = 0;
  virtual trvptr_strong<trvobject_base> origin_object() const = 0;
  virtual bool has_destructor() const = 0;
};

class trv_class : public trvptr_base<trv_class> {
 public:
  // Takes over `initial`, one member each (the caller's handles get fresh variables in
  // exchange); with an expired definition raises "Invalid class definition." and keeps fresh
  // members. `scope` is the scope of the frame creating the instance; methods read through it
  // are bound to it.
  trv_class(const trvptr_weak<trv_class_shape>& definition, std::span<trvvar_shared> initial,
            const trvptr_weak<trv_task>& scope);
  ~trv_class() override;
  trv_class(const trv_class&) = delete;
  trv_class& operator=(const trv_class&) = delete;

  void release() override;

  // Member `index`: with `method` the function-table entry (a function bound to this
  // instance, any other value copied), else the instance variable itself. "out of range!"
  // otherwise.
  trvvar_shared member_by_index(int64_t index, bool method) {
    if (!method && index >= 0 && static_cast<size_t>(index) < members_.size()) {
      return members_[static_cast<size_t>(index)];
    }
    return method ? function_member(index) : out_of_range();
  }
  // Member by name through the definition's symbol table; privacy is the interpreter's check.
  trvvar_shared member_by_name(std::string_view name);

  trv_class_shape* definition() const { return definition_.get(); }
  const trvptr_weak<trv_task>& scope() const { return scope_; }
  std::vector<trvvar_shared>& members() { return members_; }
  // A weak pointer to this instance in the form frames and function values keep as their
  // bound object.
  trvptr_weak<trvobject_base> bound_pointer();

 private:
  // The function-table entry `index` as member_by_index gives it.
  trvvar_shared function_member(int64_t index);
  static trvvar_shared out_of_range();
  trvvar_shared bound_method(uint32_t index, const trvvar& entry);
  // Whether `method` is a plain function bound to this instance for `entry`, as bound_method
  // makes it.
  bool binds(const trvvar& method, const trvvar& entry);
  void finish_release();
  void destroy();

  trvptr_weak<trv_class_shape> definition_;
  trvptr_weak<trv_task> scope_;
  trvptr_strong<trvobject_base> origin_;
  std::vector<trvvar_shared> members_;
  uint64_t released_ = 0;
  trvptr_strong<trv_class> self_hold_;  // while the destructor runs
  // The bound method handed out last, handed out again while nothing else holds it and it is
  // as it was made: `o.method()` in a loop then makes no new variable. Its function value
  // holds this instance weakly, so it makes no cycle.
  trvvar_shared last_method_;
  uint32_t last_method_index_ = 0;
  trv_runtime* runtime_ = nullptr;  // whose list of live instances holds this one
};

// The instance a bound-object pointer refers to; null when it refers to none (or to an object
// that is not a script class instance).
inline trv_class* trv_class_from_bound(const trvptr_weak<trvobject_base>& bound) {
  trvptr_base_internal* object = bound.control_block()->object;
  if (object == nullptr || object->type_tag != trv_type_tag<trv_class>()) return nullptr;
  return static_cast<trv_class*>(object);
}

// A new TRVVAR_CLASS variable holding `instance` (none when it can no longer be referenced).
trvvar_shared trv_class_new_value(trv_class* instance);

// Supplied by the tasks (vm/class_runtime.cpp): starts the destructor of `instance`'s class as
// a task bound to the instance in the instance's scope; `finished` receives its result when it
// ends. False when no task can run it because the scope is gone.
bool trv_class_start_destructor(trv_class& instance, std::function<void(trvvar_shared&)> finished);
