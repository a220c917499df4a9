#pragma once

// Printing a container as JSON text. The text is the one the nlohmann json library would
// write for the document the container maps to (members ordered by key, the last of equal
// keys kept, keyless entries of a mixed container under "", json.bool as true or false), but
// it is written while walking the entries, without building that document.

#include <string>

class trv_std_json;

// Compact (one line) or indented by 4. A container met again on its own path prints as
// "<cycle>", one nested deeper than 1024 as "<nested too deeply>", with one warning.
std::string trv_json_to_text(trv_std_json& container, bool compact);
// The same walk, showing for each value whether it is a reference, its count and its type.
std::string trv_json_debug_text(trv_std_json& container, bool compact);
