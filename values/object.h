#pragma once

// The native object interface.
//
// Every native object (std.buffer, std.json, json.bool, std.string, std.thread) derives from
// trvobject_base. Its virtual operations are the one way the interpreter, the variable layer
// and the host read and write members, index, convert to text and compare an object; their
// order is shared with the host. Operations taking handles by reference consume them: the
// handle is released before they return.

#include <cstdint>
#include <string>
#include <string_view>

#include "glue/object_ptr.h"
#include "values/serializable.h"
#include "values/var.h"

class trvobject_base : public trvptr_base<trvobject_base>, public trv_serializable {
 public:
  uint64_t class_type_tag;  // the most-derived class's tag
  // Raised while native code works on the object (a native method, a member write): a
  // teardown meanwhile is deferred instead of destroying the object under that code, whose
  // work can run script code (a destructor) that tears the object down.
  uint32_t use_counter = 0;

  trvobject_base() : class_type_tag(trv_type_tag<trvobject_base>()) {}
  trvobject_base(const trvobject_base& other)
      : trvptr_base<trvobject_base>(other),
        trv_serializable(other),
        class_type_tag(other.class_type_tag) {}
  trvobject_base& operator=(const trvobject_base&) { return *this; }
  ~trvobject_base() override = default;

  virtual std::string to_string();
  virtual std::string_view class_name_view();
  // A strong pointer to the object (empty when it cannot be referenced). Classes with value
  // semantics answer with a copy.
  virtual trvptr_strong<trvobject_base> self_pointer();

  virtual trvvar_shared get_member(trvvar_shared& key);
  virtual trvvar_shared get_index_member(int64_t index);
  virtual trvvar_shared get_named_member(std::string_view name);
  virtual void set_member(trvvar_shared& key, trvvar_shared& value);
  virtual void set_index_member(int64_t index, trvvar_shared& value);
  virtual void set_named_member(std::string_view name, trvvar_shared& value);
  virtual bool has_member(trvvar_shared& key);
  virtual bool has_index_member(int64_t index);
  virtual bool has_named_member(std::string_view name);

  virtual bool is_empty();
  virtual int64_t element_count();
  virtual int64_t reserved_query_a();
  virtual int64_t reserved_query_b();

  // Operator hooks: each answers whether it handled the operation.
  virtual bool op_add(trvvar& other, trvvar_shared& result);
  virtual bool op_radd(trvvar& other, trvvar_shared& result);
  virtual bool op_sub(trvvar& other, trvvar_shared& result);
  virtual bool op_rsub(trvvar& other, trvvar_shared& result);
  virtual bool op_mul(trvvar& other, trvvar_shared& result);
  virtual bool op_rmul(trvvar& other, trvvar_shared& result);
  virtual bool op_div(trvvar& other, trvvar_shared& result);
  virtual bool op_rdiv(trvvar& other, trvvar_shared& result);
  virtual bool op_equal(trvvar& other);
  virtual bool op_less(trvvar& other, bool or_equal);
  virtual bool op_greater(trvvar& other, bool or_equal);

  virtual int64_t reserved_query_c();
  virtual bool is_type(uint64_t tag);
  virtual const char* class_name();
  // The member's index for a name; -1 when the class has no such member.
  virtual int64_t member_index(std::string_view name);
  virtual void member_reference(trvvar_shared& result, int64_t index);
  virtual void set_member_value(int64_t index, trvvar_shared& value);
  virtual void get_member_value(trvvar_shared& result, int64_t index);
};

// Marks an object in use by native code for the scope (see use_counter); null marks nothing.
class trvobject_use {
 public:
  explicit trvobject_use(trvobject_base* object) : object_(object) {
    if (object_ != nullptr) ++object_->use_counter;
  }
  ~trvobject_use() {
    if (object_ != nullptr) --object_->use_counter;
  }
  trvobject_use(const trvobject_use&) = delete;
  trvobject_use& operator=(const trvobject_use&) = delete;

 private:
  trvobject_base* object_;
};

// The object as class T when it is one (checked by type tag), else null.
template <class T>
T* trv_object_cast(trvobject_base* object) {
  if (object == nullptr || !object->is_type(trv_type_tag<T>())) return nullptr;
  return static_cast<T*>(object);
}
