#include "objects/member_def.h"

void trvobject_member_def_base::reference(trvvar_shared& result, trvobject_base*) {
  result = trvvar_new();
}

void trvobject_member_def_base::set_value(trvobject_base*, trvvar_shared& value) { value.reset(); }

void trvobject_member_def_base::get_value(trvvar_shared& result, trvobject_base*) {
  result = trvvar_new();
}

trv_function_def* trvobject_member_def_base::function_def() { return nullptr; }
