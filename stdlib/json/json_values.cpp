// The json operations the variable layer reaches through values/payload_objects.h.

#include "stdlib/json/json_values.h"

#include "values/assign.h"
#include "values/payload_objects.h"

trv_std_json& trvvar_get_or_make_json(trvvar& v, bool clear) {
  if (v.type != TRVVAR_JSON) {
    trvvar_set_type(v, TRVVAR_JSON);  // a new, empty container
  } else if (clear) {
    trv_json_of(v)->clear();
  }
  return *trv_json_of(v);
}

namespace {

// A keyed entry goes in by key (the later value of a key replaces the earlier one), a keyless
// one is appended: [1, 2] + [3] is [1, 2, 3].
void add_entries(trv_std_json& target, trv_std_json& source) {
  trv_json_visit_entries(source.entries, [&target](const trv_json_entry& entry) {
    trvvar_shared value = entry.value;
    trvvar_shared slot = entry.key ? target.find_or_add(*entry.key) : target.add_keyless();
    trvvar_set(*slot, value);
    return true;
  });
}

}  // namespace

trvvar_shared trv_json_concat(trvobject_base& left, trvobject_base& right) {
  trv_std_json* sum = nullptr;
  trvvar_shared result = trv_new_json_var(&sum);
  add_entries(*sum, static_cast<trv_std_json&>(left));
  add_entries(*sum, static_cast<trv_std_json&>(right));
  return result;
}
