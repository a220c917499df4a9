#pragma once

#include <string>
#include <string_view>

// "\n", stars as long as the message's first line, "\n", the message, "\n", the stars, "\n\n".
std::string trv_frame_error(std::string_view message);
