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
        if (c == '\n' || c == '\r') comment_ = comment::none;
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

// The bytes all tried prefixes may add up to: at least this many, and this many times the
// text. Every digit of a number is a possible cut, and a number too large for a double fails
// at each of them; without a bound, such a number of n digits costs n * n / 2 bytes of
// parsing, minutes for a few tens of kilobytes.
constexpr size_t salvage_budget_floor = size_t{1} << 20;
constexpr size_t salvage_budget_factor = 16;

bool parses(std::string_view text) { return nlohmann::json::accept(text, true); }

bool parses_closed(std::string_view prefix, char closing, std::string& scratch) {
  scratch.assign(prefix);
  scratch.push_back(closing);
  return parses(scratch);
}

}  // namespace

std::optional<trv_json_salvage> trv_json_find_salvage(std::string_view text,
                                                      size_t error_position) {
  // The parser gave up after reading `error_position` characters: every prefix holding them
  // fails the same way.
  const size_t limit = std::min(text.size(), error_position);
  const std::vector<uint8_t> marks = cut_scanner(text).scan(limit);
  const char closing = text.empty() ? 0 : text[0] == '{' ? '}' : text[0] == '[' ? ']' : 0;
  std::string scratch;
  size_t budget = std::max(salvage_budget_floor, salvage_budget_factor * limit);
  for (size_t length = limit; length > 0; --length) {
    const uint8_t mark = marks[length];
    if (mark == no_cut) continue;
    if (budget < length) return std::nullopt;
    budget -= length;
    if ((mark & plain_cut) != 0 && parses(text.substr(0, length))) {
      return trv_json_salvage{length, 0};
    }
    if ((mark & bracket_cut) != 0 && closing != 0 &&
        parses_closed(text.substr(0, length), closing, scratch)) {
      return trv_json_salvage{length, closing};
    }
  }
  return std::nullopt;
}
