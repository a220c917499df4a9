#pragma once

// Filling a container from JSON text. The entries are the ones the nlohmann json library's
// document of the text maps to (members ordered by key, the last of equal keys kept, booleans
// as json.bool), built straight from the parser's events.

#include <string_view>

class trv_std_json;

// Clears the container and fills it from the text, salvaging the longest parsable prefix of
// broken text. Failures and salvage are logged as errors unless suppressed.
bool trv_json_from_string(trv_std_json& container, std::string_view text, bool suppress_errors);
