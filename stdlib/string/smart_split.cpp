#include "stdlib/string/smart_split.h"

#include <array>
#include <string>

#include "stdlib/string/ascii.h"
#include "stdlib/string/string_search.h"
#include "stdlib/string/string_split.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// The next position at or after a start that satisfies a test, remembered between calls.
// The scan asks with non-decreasing starts, so a start that has not passed the remembered
// answer gets it again: every byte is examined at most once overall, which keeps the raw
// string checks linear however many R" openers there are.
template <class Test>
class next_match {
 public:
  explicit next_match(Test test) : test_(test) {}

  size_t at_or_after(std::string_view text, size_t from) {
    if (from < searched_from_ || from > found_) {
      found_ = from;
      while (found_ < text.size() && !test_(text[found_])) ++found_;
      searched_from_ = from;
    }
    return found_;  // text.size() when there is none
  }

 private:
  Test test_;
  size_t searched_from_ = npos;
  size_t found_ = 0;
};

bool is_open_paren(char c) { return c == '('; }
// A byte that may not appear in a raw string's delimiter before its "(".
bool breaks_raw_delimiter(char c) { return trv_is_space(c) || c == '\\' || c == ')'; }

// The bytes that can begin a comment, a quoted or raw string, or change a bracket depth.
constexpr std::string_view state_bytes = "/'\"R()[]{}";

// Bytes that need a look in the normal state; everything else is skipped in a tight loop.
std::array<bool, 256> normal_state_stops(std::string_view delim) {
  std::array<bool, 256> stops{};
  for (unsigned char c : state_bytes) stops[c] = true;
  stops[static_cast<unsigned char>(delim[0])] = true;
  return stops;
}

class smart_splitter {
 public:
  smart_splitter(std::string_view text, std::string_view delim, int64_t max_parts, bool strip,
                 trv_string_parts& parts)
      : text_(text),
        delim_(delim),
        limit_(static_cast<uint64_t>(max_parts)),
        strip_(strip),
        parts_(parts),
        stops_(normal_state_stops(delim)),
        plain_delim_(state_bytes.find(delim[0]) == std::string_view::npos) {}

  void run() {
    size_t p = 0;
    while (p < text_.size()) {
      if (!stops_[static_cast<unsigned char>(text_[p])]) {
        ++p;
        continue;
      }
      p = step(p);
    }
    trv_add_part(parts_, text_.substr(part_start_), strip_);
  }

 private:
  // Examines the byte at p in the normal state; returns where the scan goes on.
  size_t step(size_t p) {
    const char c = text_[p];
    // A delimiter that begins with none of the state bytes is the only thing its byte can
    // start: the common case, decided without the checks below.
    if (plain_delim_ && c == delim_[0]) return after_delimiter(p);
    const std::string_view rest = text_.substr(p);
    if (c == '/' && rest.size() >= 2) {
      if (rest[1] == '/') return skip_past(p + 2, "\n");
      if (rest[1] == '*') return skip_past(p + 2, "*/");
    }
    if (c == '\'' || c == '"') {
      if (rest.starts_with("'''") || rest.starts_with("\"\"\"")) {
        return skip_past(p + 3, rest.substr(0, 3));
      }
    }
    if (c == 'R' && rest.size() >= 3 && rest[1] == '"') {
      if (const size_t after = raw_string_end(p); after != npos) return after;
    }
    if (c == '\'' || c == '"') return skip_quoted(p + 1, c);
    track_bracket(c);
    return after_delimiter(p);
  }

  // Where the scan goes on from a possible delimiter at p: it splits only at depth 0, while
  // max_parts allows another part.
  size_t after_delimiter(size_t p) {
    if (round_ == 0 && square_ == 0 && curly_ == 0 && emitted_ + 1 < limit_ &&
        text_[p] == delim_[0] && text_.substr(p + 1).starts_with(delim_.substr(1))) {
      trv_add_part(parts_, text_.substr(part_start_, p - part_start_), strip_);
      ++emitted_;
      part_start_ = p + delim_.size();
      return part_start_;
    }
    return p + 1;
  }

  void track_bracket(char c) {
    switch (c) {
      case '(':
        ++round_;
        break;
      case ')':
        if (round_ > 0) --round_;
        break;
      case '[':
        ++square_;
        break;
      case ']':
        if (square_ > 0) --square_;
        break;
      case '{':
        ++curly_;
        break;
      case '}':
        if (curly_ > 0) --curly_;
        break;
      default:
        break;
    }
  }

  // Behind the first `closer` at or after from; the end of the text when there is none.
  size_t skip_past(size_t from, std::string_view closer) {
    const size_t at = trv_find_text(text_, closer, from);
    return at == npos ? text_.size() : at + closer.size();
  }

  // Behind the first quote at or after from that an even number of backslashes precedes.
  size_t skip_quoted(size_t from, char quote) {
    for (size_t at = trv_find_text(text_, std::string_view(&quote, 1), from); at != npos;
         at = trv_find_text(text_, std::string_view(&quote, 1), at + 1)) {
      size_t backslashes = 0;
      while (at - backslashes > from && text_[at - backslashes - 1] == '\\') ++backslashes;
      if (backslashes % 2 == 0) return at + 1;
    }
    return text_.size();
  }

  // For an R" at p: when a "(" follows with a valid delimiter between (no whitespace,
  // backslash or parenthesis), the position behind the raw string's closer )delimiter";
  // otherwise npos and the R is an ordinary byte.
  size_t raw_string_end(size_t p) {
    const size_t open = paren_.at_or_after(text_, p + 2);
    if (open == text_.size() || breaker_.at_or_after(text_, p + 2) < open) return npos;
    std::string closer = ")";
    closer.append(text_.substr(p + 2, open - (p + 2))).push_back('"');
    return skip_past(open + 1, closer);
  }

  const std::string_view text_;
  const std::string_view delim_;
  const uint64_t limit_;  // parts allowed, every negative max_parts meaning no cap
  const bool strip_;
  trv_string_parts& parts_;
  const std::array<bool, 256> stops_;
  const bool plain_delim_;
  uint64_t round_ = 0;
  uint64_t square_ = 0;
  uint64_t curly_ = 0;
  uint64_t emitted_ = 0;
  size_t part_start_ = 0;
  next_match<bool (*)(char)> paren_{is_open_paren};
  next_match<bool (*)(char)> breaker_{breaks_raw_delimiter};
};

}  // namespace

void trv_smart_split(std::string_view text, std::string_view delim, int64_t max_parts, bool strip,
                     trv_string_parts& parts) {
  if (!trv_split_needed(text, max_parts, strip, parts)) return;
  if (delim.empty()) {
    trv_add_part(parts, text, strip);
    return;
  }
  smart_splitter(text, delim, max_parts, strip, parts).run();
}
