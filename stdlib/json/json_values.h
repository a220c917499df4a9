#pragma once

#include "stdlib/json/std_json.h"

// The record's container for editing; a record of another type becomes an empty json value
// first. With `clear` an existing container is emptied as well.
trv_std_json& trvvar_get_or_make_json(trvvar& v, bool clear = false);
