#include "stdlib/json/json_salvage.h"

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace {

// Marks for a cut before text[L]: the prefix may parse as it is (plain), or with the closing
// bracket appended (bracket). The marks are a superset of the cuts that parse; the parser
// decides. A prefix can parse as it is only once the root value has ended; it can take the
// closing bracket only at the root's own level right after its opening bracket or a value.
enum cut_mark : uint8_t { no_cut = 0, plain_cut = 1, bracket_cut = 2 };

class cut_scanner {
 public:
  explicit cut_scanner(std::string_view text) : text_(text), marks_(text.size() + 1, no_cut) {}

  std::vector<uint8_t> scan(size_t limit) {
    for (size_t i = 0; i < limit; ++i) {
      step(text_[i]);
      marks_[i + 1] = mark();
    }
    return std::move(marks_);
  }

 private:
  enum class comment { none, slash, line, block, block_star };

  uint8_t mark() const {
    if (in_string_ || comment_ == comment::block || comment_ == comment::block_star ||
        comment_ == comment::slash) {
      return no_cut;
    }
    if (depth_ == 0) return root_ended_ ? plain_cut : no_cut;
    if (depth_ == 1 && can_close_ && comment_ == comment::none) return bracket_cut;
    return no_cut;
  }

  void step(char c) {
    if (in_string_) return string_char(c);
    switch (comment_) {
      case comment::line:
        // The parser ends a line comment at a NUL byte too.
        if (c == '\n' || c == '\r' || c == '\0') comment_ = comment::none;
        return;
      case comment::block:
        if (c == '*') comment_ = comment::block_star;
        return;
      case comment::block_star:
        comment_ = c == '/' ? comment::none : c == '*' ? comment::block_star : comment::block;
        return;
      case comment::slash:
        comment_ = c == '/' ? comment::line : c == '*' ? comment::block : comment::none;
        return;
      case comment::none:
        break;
    }
    structural_char(c);
  }

  void string_char(char c) {
    if (escaped_) {
      escaped_ = false;
    } else if (c == '\\') {
      escaped_ = true;
    } else if (c == '"') {
      in_string_ = false;
      value_ended();
      if (depth_ == 0) root_ended_ = true;
    }
  }

  void structural_char(char c) {
    switch (c) {
      case ' ':
      case '\t':
      case '\n':
      case '\r':
        return;
      case '/':
        comment_ = comment::slash;
        return;
      case '"':
        in_string_ = true;
        string_is_key_ = depth_ == 1 && expect_key_;
        if (depth_ == 1) can_close_ = false;
        return;
      case '{':
      case '[':
        ++depth_;
        if (depth_ == 1) {
          can_close_ = true;
          expect_key_ = c == '{';
        } else if (depth_ == 2) {
          can_close_ = false;
        }
        return;
      case '}':
      case ']':
        if (depth_ > 0) --depth_;
        value_ended();
        if (depth_ == 0) root_ended_ = true;
        return;
      case ',':
        if (depth_ == 1) {
          can_close_ = false;
          expect_key_ = text_[0] == '{';
        }
        return;
      case ':':
        if (depth_ == 1) {
          can_close_ = false;
          expect_key_ = false;
        }
        return;
      default:
        // A character of a number or literal; the token may end here.
        if (depth_ == 1) can_close_ = true;
        return;
    }
  }

  // A string, container or scalar ended at the current level.
  void value_ended() {
    if (depth_ != 1) return;
    can_close_ = !string_is_key_;
    string_is_key_ = false;
  }

  std::string_view text_;
  std::vector<uint8_t> marks_;
  int64_t depth_ = 0;
  bool in_string_ = false;
  bool escaped_ = false;
  bool string_is_key_ = false;
  bool expect_key_ = false;
  bool can_close_ = false;
  bool root_ended_ = false;
  comment comment_ = comment::none;
};

bool parses(std::string_view text) { return nlohmann::json::accept(text, true); }

bool parses_closed(std::string_view prefix, char closing, std::string& scratch) {
  scratch.assign(prefix);
  scratch.push_back(closing);
  return parses(scratch);
}

bool number_char(char c) {
  return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

// A number cut after one of these never parses ("1.", "1e", "1e-", "-").
bool ends_number_part(char c) { return c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'; }

class salvage_search {
 public:
  salvage_search(std::string_view text, size_t limit)
      : text_(text),
        marks_(cut_scanner(text).scan(limit)),
        closing_(text.empty()     ? 0
                 : text[0] == '{' ? '}'
                 : text[0] == '[' ? ']'
                                  : 0) {}

  std::optional<trv_json_salvage> longest(size_t limit) {
    for (size_t length = limit; length > 0; --length) {
      if (marks_[length] == no_cut) continue;
      const size_t start = number_start(length);
      if (start + 1 < length) {
        if (auto found = longest_in_number(start, length)) return found;
        length = start + 1;  // the cut before the number is next
        continue;
      }
      if (auto found = try_cut(length)) return found;
    }
    return std::nullopt;
  }

 private:
  std::optional<trv_json_salvage> try_cut(size_t length) {
    const std::string_view prefix = text_.substr(0, length);
    if ((marks_[length] & plain_cut) != 0 && parses(prefix)) return trv_json_salvage{length, 0};
    if ((marks_[length] & bracket_cut) != 0 && closing_ != 0 &&
        parses_closed(prefix, closing_, scratch_)) {
      return trv_json_salvage{length, closing_};
    }
    return std::nullopt;
  }

  // Where the number that a cut before text[length] splits starts; `length` when the cut does
  // not follow a number's character.
  size_t number_start(size_t length) const {
    size_t start = length;
    while (start > 0 && number_char(text_[start - 1])) --start;
    if (start == length) return length;
    const char first = text_[start];
    return (first >= '0' && first <= '9') || first == '-' ? start : length;
  }

  // The longest cut inside or at the end of the number text[start, end). Cut there, a number
  // parses up to some length and no further: a longer one only adds digits to a part that
  // already overflowed or to a form already wrong ("01", "1.2.3"), apart from the cuts right
  // after a part's sign or marker, which never parse and are left out. So the longest is
  // found by bisection, where trying every cut of a number too large for a double would parse
  // n prefixes of up to n bytes.
  std::optional<trv_json_salvage> longest_in_number(size_t start, size_t end) {
    std::vector<size_t> cuts;
    for (size_t length = start + 1; length <= end; ++length) {
      if (marks_[length] != no_cut && !ends_number_part(text_[length - 1])) cuts.push_back(length);
    }
    std::optional<trv_json_salvage> found;
    size_t low = 0;
    size_t high = cuts.size();  // cuts[high] and beyond fail, cuts below `low` parse
    while (low < high) {
      const size_t middle = low + (high - low) / 2;
      if (auto parsed = try_cut(cuts[middle])) {
        found = parsed;
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return found;
  }

  std::string_view text_;
  std::vector<uint8_t> marks_;
  char closing_;
  std::string scratch_;
};

}  // namespace

std::optional<trv_json_salvage> trv_json_find_salvage(std::string_view text,
                                                      size_t error_position) {
  // The parser gave up after reading `error_position` characters: every prefix holding them
  // fails the same way.
  const size_t limit = std::min(text.size(), error_position);
  return salvage_search(text, limit).longest(limit);
}
