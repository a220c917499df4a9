#pragma once

// Variables.
//
// Every script value, argument, result, interpreter slot and container member is a variable:
// a 16-byte record holding a reference count, two flag bytes, a type, the tag of the pool it
// came from and one 64-bit payload. Integers and floats live in the payload; string, binary
// and json values hold a strong object pointer to the object carrying the text, bytes or
// container; the other owning types point to a payload record of their own kind; a reference
// points to another record and holds one count of it.
//
// Records are shared through trvvar_shared handles and released when their count falls below
// 1. Counts are plain integers: a record belongs to the thread running the script that uses it.

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "glue/object_ptr.h"
#include "values/var_type.h"

class trvobject_base;
struct trv_runtime;
class trv_class;
class trv_class_def;
class trv_function_def;
class trv_program_block;
struct trv_task;
struct trvvar;
class trvvar_shared;
class trvvar_ptr_function_lambda;
struct trvvar_object_payload;
struct trvvar_class_payload;
struct trvvar_class_def_payload;
struct trvvar_function_payload;
struct trvvar_ext_function_payload;
struct trvvar_member_literal_payload;
struct trvvar_member_index_payload;
struct trvvar_member_var_payload;

// flags
inline constexpr uint8_t TRVVAR_FLAG_SHARE_ON_ASSIGN = 1;
inline constexpr uint8_t TRVVAR_FLAG_BY_REFERENCE = 4;
inline constexpr uint8_t TRVVAR_FLAG_TEARDOWN = 16;
// flags2
inline constexpr uint8_t TRVVAR_FLAG2_VALUE_ONLY = 1;

union trvvar_payload {
  int64_t int_value;
  double float_value;
  uint64_t raw;
  trvptr_strong<trvobject_base> object;  // string, binary, json: the carrying object
  trvvar_object_payload* object_payload;
  trvvar_class_payload* class_payload;
  trvvar_class_def_payload* class_def_payload;
  trvvar_function_payload* function_payload;
  trvvar_ext_function_payload* ext_function_payload;
  trvvar_member_literal_payload* member_literal_payload;
  trvvar_member_index_payload* member_index_payload;
  trvvar_member_var_payload* member_var_payload;
  trvvar* ref;

  trvvar_payload() noexcept : raw(0) {}
  ~trvvar_payload() {}
};

struct trvvar {
  int32_t refcount = 0;
  uint8_t flags = 0;
  uint8_t flags2 = 0;
  trvvar_type type = TRVVAR_NONE;
  uint8_t pool_tag = trv_heap_tag;
  trvvar_payload payload;

  trvvar() noexcept = default;
  trvvar(const trvvar&) = delete;
  trvvar& operator=(const trvvar&) = delete;
};
static_assert(sizeof(trvvar) == 16, "the variable record is shared with the host");
static_assert(sizeof(trvptr_strong<trvobject_base>) == 8);

// A record whose only holder may reuse or free it at once: counted once, without a payload of
// its own (none, integer, float) and without flags. Letting it go cannot run any code.
inline bool trvvar_unshared_plain(const trvvar& v) {
  return v.refcount == 1 && v.type < TRVVAR_STRING && v.flags == 0;
}
// What trvvar_set_type(v, TRVVAR_NONE) leaves in a record without a payload of its own.
inline void trvvar_clear_plain(trvvar& v) {
  v.type = TRVVAR_NONE;
  v.payload.raw = 0;
  v.flags2 = 0;
}

// A new record: type none, count 0, from the variable pool when the calling thread owns its
// runtime, else from the heap with tag 255.
trvvar* trvvar_allocate();
// The same with the calling thread's owned runtime (or null) already looked up, for callers
// that make many records in a row.
trvvar* trvvar_allocate(trv_runtime* owned);
// The end of a record whose count fell below 1. A negative count is reported, not freed.
void trvvar_release(trvvar* v);
// The end of an object under the teardown flag, once no native call on it runs elsewhere: any
// other holder sees it dead. An object that carries string, binary or json values is emptied in
// place instead, as value records elsewhere may still hold it (a method returns its receiver
// as an object) and read it without a check.
void trvvar_end_object(trvobject_base& object);
// When `value` is the only holder of a pooled record without a payload of its own (none,
// integer, float) and without flags, frees it straight into the variable pool of `owned`, the
// calling thread's owned runtime, empties the handle and returns true; otherwise does nothing
// and returns false. For releasing many records at once without a lookup of the thread's state
// for each.
bool trvvar_release_unshared_plain(trvvar_shared& value, trv_runtime& owned);

class trvvar_shared {
 public:
  trvvar_shared() noexcept = default;
  trvvar_shared(const trvvar_shared& other) noexcept : var_(other.var_) {
    if (var_ != nullptr) ++var_->refcount;
  }
  trvvar_shared(trvvar_shared&& other) noexcept : var_(std::exchange(other.var_, nullptr)) {}
  [[gnu::always_inline]] ~trvvar_shared() { drop(var_); }

  // The new record is counted before the old one is released: releasing can run arbitrary
  // code, which may reach the new record.
  trvvar_shared& operator=(const trvvar_shared& other) noexcept {
    trvvar_shared copy(other);
    swap(copy);
    return *this;
  }
  trvvar_shared& operator=(trvvar_shared&& other) noexcept {
    trvvar_shared moved(std::move(other));
    swap(moved);
    return *this;
  }

  // Takes over a record whose count already includes this handle.
  static trvvar_shared adopt(trvvar* v) noexcept {
    trvvar_shared h;
    h.var_ = v;
    return h;
  }
  // Adds a count to a record.
  static trvvar_shared share(trvvar* v) noexcept {
    if (v != nullptr) ++v->refcount;
    return adopt(v);
  }

  trvvar* get() const noexcept { return var_; }
  trvvar* operator->() const noexcept { return var_; }
  trvvar& operator*() const noexcept { return *var_; }
  explicit operator bool() const noexcept { return var_ != nullptr; }

  void reset() noexcept { drop(std::exchange(var_, nullptr)); }
  // Gives up the record without touching its count.
  trvvar* detach() noexcept { return std::exchange(var_, nullptr); }
  void swap(trvvar_shared& other) noexcept { std::swap(var_, other.var_); }

 private:
  static void drop(trvvar* v) noexcept {
    if (v != nullptr && --v->refcount < 1) trvvar_release(v);
  }

  trvvar* var_ = nullptr;
};

// A record held by value inside an object; never handed to release.
struct trvvar_static : trvvar {
  trvvar_static() noexcept = default;
  ~trvvar_static();
};

// A handle to a record that no count owns (a trvvar_static), for the operations that take
// handles. The record's count is raised while the borrow lasts and never reaches release.
class trvvar_borrowed {
 public:
  explicit trvvar_borrowed(trvvar& v) noexcept : record_(&v), handle_(trvvar_shared::share(&v)) {}
  ~trvvar_borrowed() {
    if (handle_.get() == record_) --handle_.detach()->refcount;
  }
  trvvar_borrowed(const trvvar_borrowed&) = delete;
  trvvar_borrowed& operator=(const trvvar_borrowed&) = delete;

  trvvar_shared& handle() noexcept { return handle_; }

 private:
  trvvar* record_;
  trvvar_shared handle_;
};

// A new record of type none with count 1.
trvvar_shared trvvar_new();
// The same from the pools of `owned`, the calling thread's owned runtime looked up once by a
// caller that makes many records (or null).
trvvar_shared trvvar_new(trv_runtime* owned);
// A new record of a string, binary or json type carrying `object`, from the pools of `owned`.
trvvar_shared trvvar_new_carrying(trvvar_type type, trvptr_strong<trvobject_base>&& object,
                                  trv_runtime* owned);

// The result builders: a new record holding an integer, a float, or an object (a none record
// when the pointer is empty).
trvvar_shared trvvar_new_int(int64_t value);
trvvar_shared trvvar_new_float(double value);
trvvar_shared trvvar_new_object(trvptr_strong<trvobject_base> object);

// Changes the type in place: releases the old payload, clears flags2 and builds an empty
// payload of the new type.
void trvvar_set_type(trvvar& v, trvvar_type type);

// Typed setters on a record. Storing a number into a record of that type is the common case
// and stays inline; a type change goes out of line.
inline void trvvar_set_int(trvvar& v, int64_t value) {
  if (v.type != TRVVAR_INT) [[unlikely]]
    trvvar_set_type(v, TRVVAR_INT);
  v.payload.int_value = value;
}
inline void trvvar_set_float(trvvar& v, double value) {
  if (v.type != TRVVAR_FLOAT) [[unlikely]]
    trvvar_set_type(v, TRVVAR_FLOAT);
  v.payload.float_value = value;
}
void trvvar_set_function(trvvar& v, const trvptr_weak<trv_program_block>& definition,
                         const trvptr_weak<trv_task>& scope);
void trvvar_set_ext_function(trvvar& v, const trvptr_weak<trv_function_def>& definition,
                             const trvptr_strong<trvobject_base>& bound_object);

// Storing a result into a handle overwrites the record in place only when the handle holds
// the sole reference and the record is primitive; otherwise the handle gets a new record, so
// a value shared with other holders never changes behind their back.
void trvvar_store_int(trvvar_shared& target, int64_t value);
void trvvar_store_float(trvvar_shared& target, double value);
// The same with the calling thread's owned runtime (or null) already looked up; a new record
// is taken from `spare` when that holds one (a plain none record its owner keeps for reuse).
inline void trvvar_store_int(trvvar_shared& target, int64_t value, trv_runtime* owned,
                             trvvar_shared* spare = nullptr);
inline void trvvar_store_float(trvvar_shared& target, double value, trv_runtime* owned,
                               trvvar_shared* spare = nullptr);

// The object carrying a string, binary or json value; null for other types.
trvobject_base* trvvar_payload_object(const trvvar& v);

namespace trvvar_detail {
// The record a primitive result is stored in: the target's own when it holds the only
// reference to a primitive record, else the spare or a new one from `owned` in its place.
[[gnu::always_inline]] inline trvvar* primitive_target(trvvar_shared& target, trv_runtime* owned,
                                                       trvvar_shared* spare) {
  trvvar* v = target.get();
  if (v != nullptr && v->refcount == 1 && trvvar_is_primitive(v->type)) return v;
  target = spare != nullptr && *spare ? std::move(*spare) : trvvar_new(owned);
  return target.get();
}

// An integer or float result of `type` with payload bits `raw`; flags2 is cleared when the
// type changes, as a type change does.
[[gnu::always_inline]] inline void store_primitive(trvvar_shared& target, trvvar_type type,
                                                   uint64_t raw, trv_runtime* owned,
                                                   trvvar_shared* spare) {
  trvvar* v = primitive_target(target, owned, spare);
  if (v->type != type) {
    v->type = type;
    v->flags2 = 0;
  }
  v->payload.raw = raw;
}
}  // namespace trvvar_detail

inline void trvvar_store_int(trvvar_shared& target, int64_t value, trv_runtime* owned,
                             trvvar_shared* spare) {
  trvvar_detail::store_primitive(target, TRVVAR_INT, static_cast<uint64_t>(value), owned, spare);
}

inline void trvvar_store_float(trvvar_shared& target, double value, trv_runtime* owned,
                               trvvar_shared* spare) {
  trvvar_detail::store_primitive(target, TRVVAR_FLOAT, std::bit_cast<uint64_t>(value), owned,
                                 spare);
}
