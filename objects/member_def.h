#pragma once

// A member of a native class: a method or a member variable. Members live as long as the
// process; their control blocks always come from the heap.

#include "glue/object_ptr.h"
#include "values/var.h"

class trv_function_def;
class trvobject_base;

class trvobject_member_def_base : public trvptr_base<trvobject_member_def_base> {
 public:
  bool pooled_control_block_allowed() const override { return false; }

  // What a member read on `object` yields: a bound method or a member-index variable.
  virtual void reference(trvvar_shared& result, trvobject_base* object);
  // Consumes `value`.
  virtual void set_value(trvobject_base* object, trvvar_shared& value);
  virtual void get_value(trvvar_shared& result, trvobject_base* object);
  // The method's definition; null for a member variable.
  virtual trv_function_def* function_def();
};
