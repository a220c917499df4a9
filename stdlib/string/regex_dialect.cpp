#include "stdlib/string/regex_dialect.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr size_t npos = std::string_view::npos;

// Escapes that mean something of their own, as ECMAScript has them and the engine reads them
// alike: classes, word boundaries, control characters. Back-references and "\0" are written
// out (translate_escape).
constexpr std::string_view kept_escapes = "dDwWsSbBfnrtvc";
// The escapes that stand for a class of bytes.
constexpr std::string_view class_escapes = "dDwWsS";

// The negated class escapes as ranges of bytes, for use inside a bracket class: there the
// engine takes two of them together as the bytes in both rather than in either. Whitespace is
// the six bytes 0x09 to 0x0D and the space; word characters are letters, digits and "_".
struct negated_class {
  char letter;
  std::string_view bytes;
};
constexpr negated_class negated_classes[] = {
    {'D', "\\x00-\\x2F\\x3A-\\xFF"},
    {'W', "\\x00-\\x2F\\x3A-\\x40\\x5B-\\x5E\\x60\\x7B-\\xFF"},
    {'S', "\\x00-\\x08\\x0E-\\x1F\\x21-\\xFF"},
};

// The class names of the standard library's "C" locale, the names "[:name:]" may give.
constexpr std::string_view class_names[] = {"d",     "w",     "s",     "alnum", "alpha",
                                            "blank", "cntrl", "digit", "graph", "lower",
                                            "print", "punct", "space", "upper", "xdigit"};

[[noreturn]] void refuse(const char* what) { throw std::invalid_argument(what); }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of the `count` hexadecimal digits at `at`; refuses fewer.
unsigned hex_value(std::string_view pattern, size_t at, size_t count) {
  if (at + count > pattern.size()) refuse("incomplete hexadecimal escape");
  unsigned value = 0;
  for (size_t i = at; i < at + count; ++i) {
    const int digit = hex_digit(pattern[i]);
    if (digit < 0) refuse("incomplete hexadecimal escape");
    value = value * 16 + static_cast<unsigned>(digit);
  }
  return value;
}

// A byte as the engine reads it literally anywhere, inside a class or outside.
void append_byte(std::string& out, unsigned byte) {
  static constexpr char digits[] = "0123456789ABCDEF";
  out += "\\x";
  out += digits[(byte >> 4) & 15];
  out += digits[byte & 15];
}

size_t digits_from(std::string_view pattern, size_t at) {
  while (at < pattern.size() && pattern[at] >= '0' && pattern[at] <= '9') ++at;
  return at;
}

// The capturing groups of a pattern: the "(" not followed by "?", outside classes and escapes.
size_t group_count(std::string_view pattern) {
  size_t count = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '\\') {
      ++i;
    } else if (pattern[i] == '[') {
      const size_t end = trv_regex_class_end(pattern, i);
      if (end == npos) break;
      i = end - 1;
    } else if (pattern[i] == '(' && pattern.substr(i + 1, 1) != "?") {
      ++count;
    }
  }
  return count;
}

// A group open where the pattern is read: its number, 0 for one that does not capture.
struct open_group {
  size_t number;
  bool lookahead;
};

// Appends the back-reference at `at` ("\" and the digits 1 to 9, then any further digits, all
// of them the group's number); returns the position after it. A group that has not taken part
// in the match (yet) matches the empty text, as in ECMAScript, where the engine would fail. A
// reference from inside the group itself is refused, as the standard library refuses it (the
// engine's search and its whole-text match disagree about what it matches).
size_t translate_back_reference(std::string_view pattern, size_t at, size_t groups,
                                const std::vector<open_group>& open, std::string& out) {
  const size_t end = digits_from(pattern, at + 1);
  const std::string_view digits = pattern.substr(at + 1, end - at - 1);
  const size_t number = digits.size() > 9 ? 0 : std::stoul(std::string(digits));
  if (number == 0 || number > groups) {
    refuse("a back-reference to a group the pattern does not have");
  }
  if (std::any_of(open.begin(), open.end(),
                  [&](const open_group& g) { return g.number == number; })) {
    refuse("a back-reference to a group that is still open");
  }
  out.append("(?(").append(digits).append(")\\g{").append(digits).append("})");
  return end;
}

// Appends the escape at `at` (a backslash) as the engine reads it; returns the position after.
// A text is matched byte by byte, so "\uHHHH" stands for the byte its value narrows to, and
// "\0" is the byte 0 whatever digits follow (ECMAScript has no octal escapes).
size_t translate_escape(std::string_view pattern, size_t at, std::string& out) {
  if (at + 1 >= pattern.size()) refuse("trailing backslash");
  const char c = pattern[at + 1];
  if (c == 'x') {
    append_byte(out, hex_value(pattern, at + 2, 2));
    return at + 4;
  }
  if (c == 'u') {
    append_byte(out, hex_value(pattern, at + 2, 4) & 0xFF);
    return at + 6;
  }
  if (kept_escapes.find(c) != npos || (c >= '1' && c <= '9')) {
    out += pattern.substr(at, 2);
  } else {
    append_byte(out, c == '0' ? 0u : static_cast<unsigned char>(c));
  }
  return at + 2;
}

// At "[:", "[." or "[=": the position after the ":]", ".]" or "=]" that closes it, npos when
// none does; elsewhere 0.
size_t named_member_end(std::string_view pattern, size_t at) {
  if (pattern[at] != '[' || at + 1 >= pattern.size() ||
      std::string_view(":.=").find(pattern[at + 1]) == npos) {
    return 0;
  }
  const char kind[] = {pattern[at + 1], ']'};
  const size_t close = pattern.find(std::string_view(kind, 2), at + 2);
  return close == npos ? npos : close + 2;
}

// Appends a class member "[:name:]", "[.x.]" or "[=x=]". Only the standard class names exist,
// in any case, and "blank" is the space and the tab alone (the engine's own "blank" takes the
// vertical tab as well).
void translate_named_member(std::string_view member, std::string& out) {
  if (member[1] != ':') {
    out += member;
    return;
  }
  std::string name(member.substr(2, member.size() - 4));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (std::find(std::begin(class_names), std::end(class_names), name) == std::end(class_names)) {
    refuse("unknown character class name");
  }
  out += name == "blank" ? "\\x20\\x09" : "[:" + name + ":]";
}

// Appends the class that opens at `open`; returns the position after it. A "-" right after a
// range ("[a-b-c]") is a dash of its own, which the engine refuses as written. A class (an
// escape such as "\\d", or a name) ends no range and starts none: a "-" next to one is refused
// unless it closes the class.
size_t translate_class(std::string_view pattern, size_t open, std::string& out) {
  const size_t end = trv_regex_class_end(pattern, open);
  if (end == npos) refuse("unclosed bracket class");
  const bool negated = pattern[open + 1] == '^';
  const size_t first = open + (negated ? 2 : 1);
  if (first + 1 == end) {
    out += negated ? "[\\s\\S]" : "(?!)";
    return end;
  }
  out += pattern.substr(open, first - open);
  // Where the class stands: after an atom a range may start, after its "-" it continues,
  // after its second atom it is complete.
  enum { other, atom, dash, range, set } at = other;
  size_t i = first;
  while (i + 1 < end) {
    const char c = pattern[i];
    const bool class_escape = c == '\\' && class_escapes.find(pattern[i + 1]) != npos;
    const size_t member_end = named_member_end(pattern, i);
    const bool class_name = member_end != 0 && pattern[i + 1] == ':';
    if ((at == set && c == '-' && i + 2 < end) || (at == dash && (class_escape || class_name))) {
      refuse("a class cannot end a range");
    }
    if (c == '-') {
      if (at == range) {
        append_byte(out, '-');
        at = atom;
      } else {
        out += c;
        at = at == atom ? dash : at == dash ? range : atom;
      }
      ++i;
    } else if (class_escape) {
      const auto spelled =
          std::find_if(std::begin(negated_classes), std::end(negated_classes),
                       [&](const negated_class& n) { return n.letter == pattern[i + 1]; });
      if (spelled != std::end(negated_classes)) {
        out += spelled->bytes;
      } else {
        out += pattern.substr(i, 2);
      }
      i += 2;
      at = set;
    } else if (member_end != 0) {
      at = class_name ? set : other;
      translate_named_member(pattern.substr(i, member_end - i), out);
      i = member_end;
    } else {
      if (c == '\\') {
        i = translate_escape(pattern, i, out);
      } else {
        out += c;
        ++i;
      }
      at = at == dash ? range : atom;
    }
  }
  out += ']';
  return end;
}

// Appends the repeat count that opens at `open`; returns the position after it.
size_t copy_repeat_count(std::string_view pattern, size_t open) {
  size_t i = digits_from(pattern, open + 1);
  if (i == open + 1) refuse("a brace must start a repeat count");
  if (i < pattern.size() && pattern[i] == ',') i = digits_from(pattern, i + 1);
  if (i >= pattern.size() || pattern[i] != '}') refuse("a brace must start a repeat count");
  return i + 1;
}

}  // namespace

size_t trv_regex_class_end(std::string_view pattern, size_t open) {
  size_t i = open + 1;
  if (i < pattern.size() && pattern[i] == '^') ++i;
  while (i < pattern.size()) {
    if (pattern[i] == ']') return i + 1;
    if (pattern[i] == '\\') {
      i += 2;
    } else if (const size_t member_end = named_member_end(pattern, i); member_end != 0) {
      if (member_end == npos) return npos;
      i = member_end;
    } else {
      ++i;
    }
  }
  return npos;
}

std::string trv_regex_for_engine(std::string_view pattern) {
  std::string out;
  out.reserve(pattern.size() + 16);
  const size_t groups = group_count(pattern);
  // The open groups, and whether the last thing written is an assertion (a lookahead, "^",
  // "$", "\b" or "\B"): ECMAScript repeats no assertion.
  std::vector<open_group> open;
  size_t opened = 0;  // capturing groups opened so far
  bool after_assertion = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (after_assertion && std::string_view("*+?{").find(c) != npos) refuse("nothing to repeat");
    after_assertion = false;
    if (c == '\\' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      i = translate_back_reference(pattern, i, groups, open, out);
    } else if (c == '\\') {
      after_assertion = pattern.substr(i + 1, 1) == "b" || pattern.substr(i + 1, 1) == "B";
      i = translate_escape(pattern, i, out);
    } else if (c == '[') {
      i = translate_class(pattern, i, out);
    } else if (c == '.') {
      out += "[^\n\r]";
      ++i;
    } else if (c == '{') {
      const size_t end = copy_repeat_count(pattern, i);
      out += pattern.substr(i, end - i);
      i = end;
    } else if (c == '(' && pattern.substr(i + 1, 1) == "?") {
      if (i + 2 >= pattern.size() || std::string_view(":=!").find(pattern[i + 2]) == npos) {
        refuse("unknown group");
      }
      open.push_back({0, pattern[i + 2] != ':'});
      // The engine refuses an empty lookahead; an empty group inside it is the same.
      out += pattern.substr(i, 3);
      if (pattern[i + 2] != ':' && pattern.substr(i + 3, 1) == ")") out += "(?:)";
      i += 3;
    } else {
      // "(*" is nothing to repeat, where the engine would read a verb of its own.
      if (c == '(' && pattern.substr(i + 1, 1) == "*") refuse("nothing to repeat");
      if (c == '(') open.push_back({++opened, false});
      if (c == ')' && !open.empty()) {
        after_assertion = open.back().lookahead;
        open.pop_back();
      }
      after_assertion = after_assertion || c == '^' || c == '$';
      out += c;
      ++i;
    }
  }
  return out;
}
