#include "vm/source_excerpt.h"

#include <algorithm>
#include <vector>

namespace {

constexpr size_t rule_width = 60;
// Parent links come from the host's compiler; a cycle among them must not hang the report.
constexpr size_t max_include_depth = 1024;

std::string rule() { return std::string(rule_width, '-'); }

std::string line_and_index(const trv_source_token& token) {
  return "Line " + std::to_string(token.line) + ", Index " + std::to_string(token.column);
}

// The token's unit and its includers, outermost first.
std::vector<const trv_source_unit*> include_path(const trv_source_unit* unit) {
  std::vector<const trv_source_unit*> units;
  for (; unit != nullptr && units.size() < max_include_depth; unit = unit->parent) {
    units.push_back(unit);
  }
  std::reverse(units.begin(), units.end());
  return units;
}

// The source line as printed, and the column within it. Leading spaces go only when the
// column points at or past the first non-space character (a line of spaces only has none, and
// stays whole), so a caret inside the indentation keeps its place.
struct shown_line {
  std::string_view text;
  size_t column;
};

shown_line strip_indent(std::string_view line, size_t column) {
  const size_t indent = line.find_first_not_of(' ');
  if (indent == line.npos || column < indent) return {line, column};
  return {line.substr(indent), column - indent};
}

}  // namespace

std::string trv_plain_report(std::string_view heading, std::string_view message) {
  std::string text(heading);
  text.append("\n").append(rule()).append("\n");
  text.append(message).append("\n").append(rule());
  return text;
}

std::string trv_tokenless_report(std::string_view message) {
  std::string text = "While handling an error, a token without AST was passed.\n";
  text.append(message);
  return text;
}

// One unit gives a single line without an end of line, so it follows the message on the
// message's own last line; several units give one indented line each, every line ended, so
// the rule that follows the chain comes after an empty line. The chain always has text (the
// token's line and index), so the "\n>>> " listing that stands in for an empty chain is never
// needed and not built.
std::string trv_include_chain(const trv_source_token& token) {
  const std::vector<const trv_source_unit*> units = include_path(token.unit);
  if (units.size() == 1) return units[0]->display_name + " --> " + line_and_index(token);
  std::string chain;
  for (size_t k = 0; k < units.size(); ++k) {
    chain.append(3 * k, ' ');
    if (k == 0) {
      chain.append(units[k]->display_name);
    } else if (k + 1 < units.size()) {
      chain.append("|-- ").append(units[k]->display_name);
    } else {
      chain.append("`--> ").append(line_and_index(token));
    }
    chain.append("\n");
  }
  return chain;
}

std::optional<std::string> trv_source_excerpt(std::string_view heading,
                                              const trv_source_token& token,
                                              std::string_view message) {
  if (token.unit == nullptr) return std::nullopt;
  const std::optional<std::string_view> line = token.unit->line_text(token.line);
  if (!line) return std::nullopt;

  const std::string number = std::to_string(token.line);
  const std::string margin(number.size() + 2, ' ');
  const shown_line shown = strip_indent(*line, token.column);

  std::string text(heading);
  text.append("\n").append(rule()).append("\n");
  text.append(number.size(), ' ').append("--> ").append(token.unit->file_name);
  text.append(":").append(number).append(":").append(std::to_string(token.column)).append("\n");
  text.append(margin).append("|\n");
  text.append(" ").append(number).append(" | ").append(shown.text).append("\n");
  if (shown.column < shown.text.size()) {
    text.append(margin).append("| ").append(shown.column, ' ').append("^~~~~\n");
  }
  text.append(margin).append("|\n");
  text.append(message).append(trv_include_chain(token)).append("\n").append(rule());
  return text;
}
