#pragma once

// Where the host meets the system with text: its command line, the names of its files and its
// console streams. Names are UTF-8 on every platform, and output goes out byte for byte.

#include <filesystem>
#include <string>
#include <vector>

namespace trvhost {

// Standard output and standard error write their bytes as they are: no "\n" becomes "\r\n".
void use_binary_console();

// The program's arguments after its own name, in UTF-8. On Windows they come from the wide
// command line, so that names outside the ANSI code page arrive whole.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// The file a UTF-8 name stands for.
std::filesystem::path utf8_path(const std::string& name);

}  // namespace trvhost
