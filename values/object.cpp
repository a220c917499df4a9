#include "values/object.h"

#include "values/convert.h"
#include "values/report.h"

std::string trvobject_base::to_string() { return class_name(); }

std::string_view trvobject_base::class_name_view() { return class_name(); }

trvptr_strong<trvobject_base> trvobject_base::self_pointer() {
  return trvptr_strong<trvobject_base>::from(this);
}

namespace {

// The warning for a key that is neither an integer nor a string; access falls back to text.
void warn_key_type(trvobject_base& object, const char* operation, const trvvar& key) {
  trv_runtime_warning("type '", object.class_name(), "' does not implement '", operation,
                      "' for var type ", static_cast<int>(key.type),
                      ", defaulting to string access.");
}

}  // namespace

trvvar_shared trvobject_base::get_member(trvvar_shared& key) {
  trvvar_shared k = std::move(key);
  if (!k) return get_named_member({});
  if (k->type == TRVVAR_INT) return get_index_member(k->payload.int_value);
  if (k->type == TRVVAR_STRING) return get_named_member(trvvar_string_value(*k));
  warn_key_type(*this, "get_member", *k);
  return get_named_member(trvvar_string_value(*k));
}

trvvar_shared trvobject_base::get_index_member(int64_t index) {
  return trv_runtime_error("type '", class_name(), "' does not have indexmember '", index, "'");
}

trvvar_shared trvobject_base::get_named_member(std::string_view name) {
  return trv_runtime_error("type '", class_name(), "' does not have (any) member '", name, "'");
}

void trvobject_base::set_member(trvvar_shared& key, trvvar_shared& value) {
  trvvar_shared k = std::move(key);
  if (k && k->type == TRVVAR_INT) {
    set_index_member(k->payload.int_value, value);
  } else if (k && k->type == TRVVAR_STRING) {
    set_named_member(trvvar_string_value(*k), value);
  } else {
    if (k) warn_key_type(*this, "set_member", *k);
    set_named_member(k ? trvvar_string_value(*k) : std::string(), value);
  }
  value.reset();
}

void trvobject_base::set_index_member(int64_t /*index*/, trvvar_shared& value) {
  value.reset();
  trv_runtime_error("type '", class_name(), "' does not implement 'set member'");
}

void trvobject_base::set_named_member(std::string_view /*name*/, trvvar_shared& value) {
  value.reset();
  trv_runtime_error("type '", class_name(), "' does not implement 'set member'");
}

bool trvobject_base::has_member(trvvar_shared& key) {
  trvvar_shared found = get_member(key);
  return found && found->type != TRVVAR_NONE;
}

bool trvobject_base::has_index_member(int64_t index) {
  trvvar_shared found = get_index_member(index);
  return found && found->type != TRVVAR_NONE;
}

bool trvobject_base::has_named_member(std::string_view name) {
  trvvar_shared found = get_named_member(name);
  return found && found->type != TRVVAR_NONE;
}

bool trvobject_base::is_empty() { return false; }
int64_t trvobject_base::element_count() { return 0; }
int64_t trvobject_base::reserved_query_a() { return -1; }
int64_t trvobject_base::reserved_query_b() { return -1; }

bool trvobject_base::op_add(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_radd(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_sub(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_rsub(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_mul(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_rmul(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_div(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_rdiv(trvvar&, trvvar_shared&) { return false; }
bool trvobject_base::op_equal(trvvar&) { return false; }
bool trvobject_base::op_less(trvvar&, bool) { return false; }
bool trvobject_base::op_greater(trvvar&, bool) { return false; }

int64_t trvobject_base::reserved_query_c() { return 0; }
bool trvobject_base::is_type(uint64_t tag) { return tag == class_type_tag; }
const char* trvobject_base::class_name() { return "object"; }
int64_t trvobject_base::member_index(std::string_view) { return -1; }

void trvobject_base::member_reference(trvvar_shared& result, int64_t) { result = trvvar_new(); }
void trvobject_base::set_member_value(int64_t, trvvar_shared& value) { value.reset(); }
void trvobject_base::get_member_value(trvvar_shared& result, int64_t) { result = trvvar_new(); }
