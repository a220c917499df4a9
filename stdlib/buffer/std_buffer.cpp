#include "stdlib/buffer/std_buffer.h"

#include <algorithm>

#include "objects/namespace.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/report.h"

namespace {

const trv_pool_kind_registration<trv_std_buffer> buffer_object_pool;

// The class's script-visible texts.
constexpr std::string_view constructor_doc = "Instantiate a new trv_std_buffer object";
constexpr std::string_view size_doc = "Returns the number of bytes stored in the buffer.";
constexpr std::string_view clear_doc = "Removes all bytes from the buffer and returns the buffer.";
constexpr const char* out_of_range_prefix = "Index ";
constexpr const char* out_of_range_suffix = " is out of range!";

trvvar_shared construct(trv_vm_context& /*context*/, std::vector<trvvar_shared>& /*args*/) {
  return trvvar_new_object(trv_std_buffer::create_new());
}

trvvar_shared size(trv_std_buffer* self, trv_vm_context&, std::vector<trvvar_shared>&) {
  return trvvar_new_int(self->element_count());
}

trvvar_shared clear(trv_std_buffer* self, trv_vm_context&, std::vector<trvvar_shared>&) {
  self->bytes.clear();  // the storage is kept
  return trvvar_new_object(trvptr_strong<trvobject_base>::from(self));
}

// The position an index names: negative indices count from the end.
int64_t position(int64_t index, size_t count) {
  return index < 0 ? index + static_cast<int64_t>(count) : index;
}

}  // namespace

void trv_std_buffer::script_register() {
  if (registered) return;
  registered = true;
  // Buffers come from the runtime's pool when the calling thread owns it.
  create_new = [] {
    return trvptr_strong<trv_std_buffer>::adopt(trv_new_buffer_object().take_block());
  };
  add_function("size", size, 0, 0, size_doc);
  add_function("clear", clear, 0, 0, clear_doc);
  script_register_internal();
}

void trv_std_buffer::populate_namespace(trv_namespace& ns) {
  add_class_constructor(ns, construct, 0, 0, constructor_doc);
}

void trv_std_buffer::recycle_storage() {
  bytes.clear();
  if (bytes.capacity() > kept_capacity) bytes.shrink_to_fit();
}

void trv_std_buffer::release() {
  recycle_storage();
  trv_pooled_release(this);
}

std::string trv_std_buffer::to_string() {
  const auto end = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  return std::string(bytes.begin(), end);
}

trvvar_shared trv_std_buffer::get_index_member(int64_t index) {
  const int64_t at = position(index, bytes.size());
  trvvar_shared v = trvvar_new();
  if (at >= 0 && static_cast<uint64_t>(at) < bytes.size()) {
    trvvar_set_int(*v, bytes[static_cast<size_t>(at)]);
  }
  return v;
}

void trv_std_buffer::set_index_member(int64_t index, trvvar_shared& value) {
  trvvar_shared v = std::move(value);
  const int64_t at = position(index, bytes.size());
  if (at < 0 || static_cast<uint64_t>(at) >= bytes.size()) {
    trv_runtime_error(out_of_range_prefix, at, out_of_range_suffix);
    return;
  }
  bytes[static_cast<size_t>(at)] =
      static_cast<uint8_t>(v ? trvvar_int_value(*v) : 0);  // the low 8 bits
}

trvptr_strong<trvobject_base> trv_new_buffer_object() {
  return trv_pooled_new_shared<trv_std_buffer>();
}

std::vector<uint8_t>& trv_buffer_object_bytes(trvobject_base& object) {
  return static_cast<trv_std_buffer&>(object).bytes;
}

bool trv_empty_buffer_object(trvobject_base& object) {
  trv_std_buffer* buffer = trv_object_cast<trv_std_buffer>(&object);
  if (buffer != nullptr) buffer->bytes.clear();
  return buffer != nullptr;
}

std::vector<uint8_t>& trvvar_get_or_make_binary(trvvar& v) {
  if (v.type != TRVVAR_BINARY) trvvar_set_type(v, TRVVAR_BINARY);
  return trv_buffer_object_bytes(*v.payload.object);
}
