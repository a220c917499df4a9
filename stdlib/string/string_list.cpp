#include "stdlib/string/string_list.h"

#include "stdlib/string/std_string.h"

trv_json_string_list::trv_json_string_list() : list_(trvvar_new()) {
  trvvar_set_type(*list_, TRVVAR_JSON);
  container_ = trv_object_cast<trv_std_json>(trvvar_payload_object(*list_));
}

void trv_json_string_list::add(std::string_view part) {
  trvvar_shared value = trvvar_new();
  trvvar_set_string(*value, part);
  container_->entries.push_back(trv_json_entry{nullptr, std::move(value)});
}

const std::vector<trv_json_entry>* trv_json_entries(const trvvar& v) {
  if (v.type != TRVVAR_JSON) return nullptr;
  const trv_std_json* container = trv_object_cast<trv_std_json>(trvvar_payload_object(v));
  return container != nullptr ? &container->entries : nullptr;
}
