#pragma once

// The printed layouts of runtime errors and warnings: plain text, nothing logged here.

#include <optional>
#include <string>
#include <string_view>

#include "vm/program_block.h"

inline constexpr std::string_view trv_runtime_error_heading = "Runtime Error";
inline constexpr std::string_view trv_runtime_warning_heading = "Runtime Warning";

// heading, "\n", a 60-dash rule, "\n", the message, "\n", the rule.
std::string trv_plain_report(std::string_view heading, std::string_view message);

// The heading, the "-->" line with file, line and index, the source line with a caret under
// the column, the message and the include chain, closed by the rule. Nothing when the token
// has no unit or its unit has no such line; the caller then writes trv_tokenless_report.
std::optional<std::string> trv_source_excerpt(std::string_view heading,
                                              const trv_source_token& token,
                                              std::string_view message);

// What stands in for an excerpt when the token has no source.
std::string trv_tokenless_report(std::string_view message);

// The units from the outermost includer down to the token's own unit, and where the token
// lies in it. The token must have a unit.
std::string trv_include_chain(const trv_source_token& token);
