#include "stdlib/json/json_string_list.h"

#include "stdlib/string/std_string.h"

trv_json_string_list::trv_json_string_list() : list_(trvvar_new()) {
  trvvar_set_type(*list_, TRVVAR_JSON);
  container_ = trv_object_cast<trv_std_json>(trvvar_payload_object(*list_));
  owned_ = trv_owned_runtime(trv_get_thread_local());
}

void trv_json_string_list::add(std::string_view part) {
  container_->entries.push_back(trv_json_entry{nullptr, trv_new_string_var(part, owned_)});
}

void trv_json_string_list::expect(size_t count) {
  container_->entries.reserve(container_->entries.size() + count);
}

const trv_json_entry_vector* trv_json_entries(const trvvar& v) {
  if (v.type != TRVVAR_JSON) return nullptr;
  const trv_std_json* container = trv_object_cast<trv_std_json>(trvvar_payload_object(v));
  return container != nullptr ? &container->entries : nullptr;
}
