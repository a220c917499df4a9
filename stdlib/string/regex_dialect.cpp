#include "stdlib/string/regex_dialect.h"

#include <stdexcept>

namespace {

constexpr size_t npos = std::string_view::npos;

// Escapes that mean something of their own, as ECMAScript has them and the engine reads them
// alike: classes, word boundaries, control characters, back-references.
constexpr std::string_view kept_escapes = "dDwWsSbBfnrtvc0123456789";

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

// Appends the escape at `at` (a backslash) as the engine reads it; returns the position after.
// A text is matched byte by byte, so "\uHHHH" stands for the byte its value narrows to.
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
  if (kept_escapes.find(c) != npos) {
    out += pattern.substr(at, 2);
  } else {
    append_byte(out, static_cast<unsigned char>(c));
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

// Appends the class that opens at `open`; returns the position after it.
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
  size_t i = first;
  while (i + 1 < end) {
    if (pattern[i] == '\\') {
      i = translate_escape(pattern, i, out);
    } else if (const size_t member_end = named_member_end(pattern, i); member_end != 0) {
      out += pattern.substr(i, member_end - i);
      i = member_end;
    } else {
      out += pattern[i++];
    }
  }
  out += ']';
  return end;
}

size_t digits_from(std::string_view pattern, size_t at) {
  while (at < pattern.size() && pattern[at] >= '0' && pattern[at] <= '9') ++at;
  return at;
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
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\\') {
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
    } else {
      if (c == '(' && pattern.substr(i + 1, 1) == "?" &&
          (i + 2 >= pattern.size() || std::string_view(":=!").find(pattern[i + 2]) == npos)) {
        refuse("unknown group");
      }
      out += c;
      ++i;
    }
  }
  return out;
}
