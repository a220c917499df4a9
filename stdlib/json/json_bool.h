#pragma once

// json.bool: a value that prints as a JSON boolean. The variable model has no boolean type, so
// scripts wrap a value in a json.bool to write true or false instead of 1 or 0; parsing JSON
// text turns every boolean into one. The boolean is always computed from the wrapped value. In
// arithmetic and comparisons a json.bool counts as 1 or 0.

#include <nlohmann/json_fwd.hpp>

#include "objects/object_binding.h"

class trv_std_json_bool : public trvobject<trv_std_json_bool, "json.bool">,
                          public trvptr_type_tag<trv_std_json_bool> {
 public:
  static constexpr uint32_t constructor_max_params = 1;
  static constexpr std::string_view constructor_parameter_docs[] = {
      "value: object - Value to wrap as a boolean."};

  trvvar_static value;

  static void script_register();

  bool get() const;
  // Writes the boolean as a JSON document value.
  virtual void write_json(nlohmann::json& out) const;

  // Binary form: the "b11" record, the section header and the boolean as the varint 1 or 0.
  // Like the JSON text, it keeps the boolean, not the wrapped value: a json.bool of 5 reads
  // back wrapping 1.
  bool to_binary(std::vector<uint8_t>& writer) override;
  using trv_serializable::from_binary;
  bool from_binary(trv_binary_reader& reader) override;

  std::string to_string() override { return get() ? "true" : "false"; }
  bool is_empty() override { return !get(); }
  // A json.bool is a value: a pointer to it is a pointer to a copy.
  trvptr_strong<trvobject_base> self_pointer() override;

  bool op_add(trvvar& other, trvvar_shared& result) override;
  bool op_radd(trvvar& other, trvvar_shared& result) override { return op_add(other, result); }
  bool op_sub(trvvar& other, trvvar_shared& result) override;
  bool op_rsub(trvvar& other, trvvar_shared& result) override { return op_sub(other, result); }
  bool op_mul(trvvar& other, trvvar_shared& result) override;
  bool op_rmul(trvvar& other, trvvar_shared& result) override { return op_mul(other, result); }
  bool op_div(trvvar& other, trvvar_shared& result) override;
  bool op_rdiv(trvvar& other, trvvar_shared& result) override { return op_div(other, result); }
  bool op_equal(trvvar& other) override;
  bool op_less(trvvar& other, bool or_equal) override;
  bool op_greater(trvvar& other, bool or_equal) override;
};

// Makes the record an object variable referring to a new json.bool wrapping the integer 1 or 0.
void trv_json_bool_store(trvvar& target, bool value);

// The "json" namespace's constructor function "bool".
void populate_json_bool_namespace(trv_namespace& ns);
