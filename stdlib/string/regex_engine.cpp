#include "stdlib/string/regex_engine.h"

#include "stdlib/string/regex_dialect.h"

// Boost.Regex matches without recursion and gives up with an exception when a match needs
// more than this many 4 KiB blocks of backtracking state; the default (1024) fails on
// alternations over texts of some 64 KiB. Only this file includes the engine.
#define BOOST_REGEX_MAX_BLOCKS 65536
#include <boost/regex.hpp>

namespace {

using iterator = std::string_view::const_iterator;
using match = boost::match_results<iterator>;
using match_iterator = boost::regex_iterator<iterator>;

constexpr size_t npos = std::string_view::npos;

// The length of the one-character atom that the engine's `pattern` starts with: a literal,
// one of the escapes \d \D \w \W \s \S, a byte written \xHH, or a bracket class; 0 for
// anything else (groups, assertions, back-references, quantifiers and every other escape).
size_t leading_atom(std::string_view pattern) {
  if (pattern.empty()) return 0;
  const char c = pattern[0];
  if (c == '\\') {
    if (pattern.size() < 2) return 0;
    if (pattern[1] == 'x') return pattern.size() >= 4 ? 4 : 0;
    return std::string_view("dDwWsS").find(pattern[1]) != npos ? 2 : 0;
  }
  if (c == '[') {
    const size_t end = trv_regex_class_end(pattern, 0);
    return end == npos ? 0 : end;
  }
  return std::string_view("^$\\.*+?()[]{}|").find(c) == npos ? 1 : 0;
}

// Boost finds where a match may start from a table of first characters, but it gives up on
// that table when the pattern starts with a repeat ("[0-9]+" tries every position of the
// text, five times slower than "[0-9][0-9]*"). A leading one-character atom repeated with "+"
// is therefore written as the atom followed by the atom repeated with "*", which matches the
// same text the same way (greedy, lazy or possessive alike: what followed "+" now follows
// "*"), and is valid exactly when the original is.
void unroll_leading_repeat(std::string& pattern) {
  const size_t atom = leading_atom(pattern);
  if (atom == 0 || atom >= pattern.size() || pattern[atom] != '+') return;
  pattern.replace(atom, 1, pattern.substr(0, atom) + '*');
}

// The pattern as ECMAScript reads it (regex_dialect.h), with "^" and "$" matching only at the
// ends of the text (Boost's Perl syntax matches them at every line break unless told
// otherwise).
boost::regex compile(std::string_view pattern) {
  std::string written = trv_regex_for_engine(pattern);
  unroll_leading_repeat(written);
  return boost::regex(written.begin(), written.end(),
                      boost::regex::ECMAScript | boost::regex::no_mod_m);
}

std::string_view view(iterator first, iterator last) {
  return {first, static_cast<size_t>(last - first)};
}

// Appends the replacement of one match: the format rules of std::regex_replace with its
// default flags. A "$" not followed by one of $ & ` ' or a digit is copied; "$n" and "$nn"
// (two digits when the second is one) name a group and give nothing when there is no such
// group.
void append_format(std::string& out, const match& m, std::string_view format,
                   std::string_view text) {
  for (size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '$' || i + 1 == format.size()) {
      out += c;
      continue;
    }
    const char next = format[i + 1];
    if (next == '$') {
      out += '$';
    } else if (next == '&') {
      out += view(m[0].first, m[0].second);
    } else if (next == '`') {
      out += view(text.begin(), m[0].first);
    } else if (next == '\'') {
      out += view(m[0].second, text.end());
    } else if (next >= '0' && next <= '9') {
      size_t group = static_cast<size_t>(next - '0');
      if (i + 2 < format.size() && format[i + 2] >= '0' && format[i + 2] <= '9') {
        group = group * 10 + static_cast<size_t>(format[i + 2] - '0');
        ++i;
      }
      if (group < m.size() && m[static_cast<int>(group)].matched) {
        out += view(m[static_cast<int>(group)].first, m[static_cast<int>(group)].second);
      }
    } else {
      out += '$';
      continue;
    }
    ++i;
  }
}

std::string replace_all(std::string_view text, const boost::regex& re, std::string_view format) {
  std::string out;
  out.reserve(text.size());
  iterator copied = text.begin();
  for (match_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    const match& m = *it;
    out += view(copied, m[0].first);
    append_format(out, m, format, text);
    copied = m[0].second;
  }
  out += view(copied, text.end());
  return out;
}

}  // namespace

bool trv_regex_match(std::string_view text, std::string_view pattern) {
  return boost::regex_match(text.begin(), text.end(), compile(pattern));
}

int64_t trv_regex_search(std::string_view text, std::string_view pattern) {
  match m;
  if (!boost::regex_search(text.begin(), text.end(), m, compile(pattern))) return -1;
  return static_cast<int64_t>(m[0].first - text.begin());
}

void trv_regex_findall(std::string_view text, std::string_view pattern, trv_string_parts& out) {
  const boost::regex re = compile(pattern);
  for (match_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.add(view((*it)[0].first, (*it)[0].second));
  }
}

std::string trv_regex_replace(std::string_view text, std::string_view pattern,
                              std::string_view format) {
  return replace_all(text, compile(pattern), format);
}

void trv_regex_split(std::string_view text, std::string_view pattern, trv_string_parts& out) {
  const boost::regex re = compile(pattern);
  iterator rest = text.begin();
  bool matched = false;
  for (match_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.add(view(rest, (*it)[0].first));
    rest = (*it)[0].second;
    matched = true;
  }
  if (!matched || rest != text.end()) out.add(view(rest, text.end()));
}

std::string trv_regex_escape(std::string_view text) {
  // The class of the fourteen metacharacters, compiled once per process.
  static const boost::regex metacharacters = compile(R"([.^$|()\[\]{}*+?\\])");
  return replace_all(text, metacharacters, "\\$&");
}
