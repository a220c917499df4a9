#pragma once

// The names a shared library exports, read the way each platform's loader sees them.

#include <optional>
#include <set>
#include <string>

// Nothing when the table cannot be read here (no nm on an ELF system).
std::optional<std::set<std::string>> exported_names(const std::string& library_path);
