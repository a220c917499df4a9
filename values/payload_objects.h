#pragma once

// The objects that carry string, binary and json values belong to their classes; the variable
// layer reaches them through these functions, defined with each class.

#include <cstdint>
#include <string>
#include <vector>

#include "objects/object_ptr.h"

class trvobject_base;

trvptr_strong<trvobject_base> trv_new_string_object();
trvptr_strong<trvobject_base> trv_new_buffer_object();
trvptr_strong<trvobject_base> trv_new_json_object();

// Empties a json container and, through its entries, every container it holds, so that
// cycles among containers are broken. `container` must be a json object.
void trv_json_teardown(trvobject_base& container);

// The text of a string object and the bytes of a buffer object, for the variable layer.
// `object` must be of that class.
std::string& trv_string_object_text(trvobject_base& object);
std::vector<uint8_t>& trv_buffer_object_bytes(trvobject_base& object);
