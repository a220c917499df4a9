#pragma once

// JSON text: printing a container and filling one from text. Both follow the document model
// of the nlohmann json library (members ordered by key, the last of equal keys kept, booleans
// as json.bool), but stream: printing writes the text while walking the entries, and parsing
// builds entries straight from the parser's events.

#include <string>
#include <string_view>

class trv_std_json;

// Compact (one line) or indented by 4. A container met again on its own path prints as
// "<cycle>", one nested deeper than 1024 as "<nested too deeply>", with one warning.
std::string trv_json_to_text(trv_std_json& container, bool compact);
// The same walk, showing for each value whether it is a reference, its count and its type.
std::string trv_json_debug_text(trv_std_json& container, bool compact);
// Clears the container and fills it from the text, salvaging the longest parsable prefix of
// broken text. Failures and salvage are logged as errors unless suppressed.
bool trv_json_from_string(trv_std_json& container, std::string_view text, bool suppress_errors);
