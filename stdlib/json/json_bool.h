#pragma once

// json.bool: a value that prints as a JSON boolean. The variable model has no boolean type, so
// scripts wrap a value in a json.bool to write true or false instead of 1 or 0; parsing JSON
// text turns every boolean into one. The boolean is always computed from the wrapped value. In
// arithmetic and comparisons a json.bool counts as 1 or 0.

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <cstring>

#include "objects/object_binding.h"
#include "values/block_cache.h"
#include "values/convert.h"

class trv_std_json_bool : public trvobject<trv_std_json_bool, "json.bool">,
                          public trvptr_type_tag<trv_std_json_bool> {
 public:
  static constexpr uint32_t constructor_max_params = 1;
  static constexpr std::string_view constructor_parameter_docs[] = {
      "value: object - Value to wrap as a boolean."};

  trvvar_static value;

  // Assigns `source` to the wrapped value, as a write of the member does. A json.bool that the
  // assignment would wrap itself (a value that shares on assignment) and that leads back to
  // this one, directly or through the json.bools it wraps in turn, is wrapped as a copy
  // instead: such a ring would hold itself, and nothing would ever let it go.
  void assign(trvvar_shared& source);

  // Lets go of a chain of json.bool values wrapping one another one link after the other.
  ~trv_std_json_bool() override;

  // A parsed document holds one json.bool per boolean: they are made and freed in bulk.
  static void* operator new(size_t bytes) { return trv_block_allocate(bytes); }
  static void operator delete(void* object, size_t bytes) noexcept {
    trv_block_free(object, bytes);
  }

  static void script_register();

  bool get() const {
    // A parsed boolean wraps an integer.
    return value.type == TRVVAR_INT ? value.payload.int_value != 0 : trvvar_get_bool(value);
  }
  // Writes the boolean as a JSON document value.
  virtual void write_json(nlohmann::json& out) const;

  // Binary form: the record below (trv_json_bool_section). Like the JSON text, it keeps the
  // boolean, not the wrapped value: a json.bool of 5 reads back wrapping 1.
  bool to_binary(std::vector<uint8_t>& writer) override;
  using trv_serializable::from_binary;
  bool from_binary(trv_binary_reader& reader) override;

  std::string to_string() override { return get() ? "true" : "false"; }
  bool is_empty() override { return !get(); }
  // A json.bool is a value: a pointer to it is a pointer to a copy.
  trvptr_strong<trvobject_base> self_pointer() override;

  // Arithmetic with a number counts the boolean as 1 or 0; a reflected form has the json.bool
  // on the right (7 - b).
  bool op_add(trvvar& other, trvvar_shared& result) override;
  bool op_radd(trvvar& other, trvvar_shared& result) override;
  bool op_sub(trvvar& other, trvvar_shared& result) override;
  bool op_rsub(trvvar& other, trvvar_shared& result) override;
  bool op_mul(trvvar& other, trvvar_shared& result) override;
  bool op_rmul(trvvar& other, trvvar_shared& result) override;
  bool op_div(trvvar& other, trvvar_shared& result) override;
  bool op_rdiv(trvvar& other, trvvar_shared& result) override;
  bool op_equal(trvvar& other) override;
  bool op_less(trvvar& other, bool or_equal) override;
  bool op_greater(trvvar& other, bool or_equal) override;

 private:
  // Whether wrapping `next` itself would close a ring through this json.bool.
  bool closes_ring(const trv_std_json_bool* next) const;

  // Set once a json.bool has wrapped this one itself: one never wrapped heads its chain, so no
  // chain leads back to it.
  bool wrapped_ = false;
};

// The binary record of a json.bool: a section header with this tag, then the boolean as the
// varint 1 or 0.
inline constexpr std::string_view trv_json_bool_section = "b11";

// Stores the record of a boolean at `p`, which has 8 bytes of room; returns its end.
inline uint8_t* trv_json_bool_put_record(uint8_t* p, bool value) {
  p[0] = trv_json_bool_section.size();
  std::memcpy(p + 1, trv_json_bool_section.data(), trv_json_bool_section.size());
  p[4] = 0;
  p[5] = value ? 1 : 0;
  return p + 6;
}

// The json.bool an object variable refers to, found by its class tag without a virtual call,
// or null.
inline const trv_std_json_bool* trv_json_bool_of(const trvobject_base* object) {
  if (object == nullptr || object->class_type_tag != trv_type_tag<trv_std_json_bool>()) {
    return nullptr;
  }
  return static_cast<const trv_std_json_bool*>(object);
}

// Makes the record an object variable referring to a new json.bool wrapping the integer 1 or 0.
void trv_json_bool_store(trvvar& target, bool value);

// The "json" namespace's constructor function "bool".
void populate_json_bool_namespace(trv_namespace& ns);
