#include "stdlib/json/std_json.h"

#include "stdlib/json/path_guard.h"
#include "values/payload_objects.h"

void trv_std_json::script_register() {
  if (registered) return;
  registered = true;
  script_register_internal();
}

void trv_std_json::clear_and_free() {
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  if (guard.enter(this) != trv_json_path_guard::entry::entered) return;
  for (trv_json_entry& e : entries) {
    trvvar& value = *e.value;
    trv_std_json* nested = value.type == TRVVAR_JSON
                               ? trv_object_cast<trv_std_json>(value.payload.object.get())
                               : nullptr;
    if (nested != nullptr) {
      nested->clear_and_free();
    } else {
      value.flags |= TRVVAR_FLAG_TEARDOWN;
    }
  }
  // Entries go after the guard is left: releasing them can reach other containers.
  std::vector<trv_json_entry> dropped = std::move(entries);
  entries.clear();
  guard.leave();
}

trvptr_strong<trvobject_base> trv_new_json_object() {
  return trvptr_strong<trvobject_base>::from(new trv_std_json());
}

void trv_json_teardown(trvobject_base& container) {
  static_cast<trv_std_json&>(container).clear_and_free();
}
