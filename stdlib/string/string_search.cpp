#include "stdlib/string/string_search.h"

#include <algorithm>
#include <boost/algorithm/searching/knuth_morris_pratt.hpp>
#include <cstring>
#include <iterator>
#include <string>
#include <type_traits>

#include "stdlib/string/ascii.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// A start position counted from the end when negative, then clamped into 0 .. size.
size_t forward_start(std::optional<int64_t> start, size_t size) {
  int64_t s = start.value_or(0);
  if (s < 0) s += static_cast<int64_t>(size);
  if (s < 0) return 0;
  return static_cast<uint64_t>(s) > size ? size : static_cast<size_t>(s);
}

// The last position a backward search may report, or npos for no limit. The default start is
// the last byte; a start still negative after adding the size means no limit.
size_t backward_limit(std::optional<int64_t> start, size_t size) {
  const int64_t last = static_cast<int64_t>(size) - 1;
  int64_t p = start.value_or(last);
  if (p < 0) p += static_cast<int64_t>(size);
  if (p < 0) return npos;
  return static_cast<size_t>(p > last ? last : p);  // size 0 makes last -1: npos
}

// Needles this long and longer go through bounded_search; below it the library's search
// compares at most this many bytes per position.
constexpr size_t long_needle = 32;

// The first occurrence of [needle, needle_end) in [first, last), or last; the needle is not
// longer than the range. The plain search compares up to the whole needle at every position
// holding its first byte: quadratic for a long needle that nearly matches again and again (runs
// of one byte). It goes on while its comparisons stay within twice the needle and four times
// the bytes passed; from where it stopped, KMP (linear, but slower on ordinary text) takes over.
template <class It>
It bounded_search(It first, It last, It needle, It needle_end) {
  const auto length = needle_end - needle;
  const It last_start = last - length + 1;
  auto allowed = 2 * length;
  for (It at = first;; ++at) {
    if constexpr (std::is_pointer_v<It>) {
      const void* hit = std::memchr(at, *needle, static_cast<size_t>(last_start - at));
      at = hit == nullptr ? last_start : static_cast<It>(hit);
    } else {
      at = std::find(at, last_start, *needle);
    }
    if (at == last_start) return last;
    const auto same = std::mismatch(needle, needle_end, at).first - needle;
    if (same == length) return at;
    allowed += 4 * (at - first) - same;
    first = at;
    if (allowed < 0) {
      return boost::algorithm::knuth_morris_pratt_search(at, last, needle, needle_end).first;
    }
  }
}

// The last occurrence of a non-empty `sub` beginning at or before `limit` (npos: anywhere).
size_t find_last(std::string_view text, std::string_view sub, size_t limit) {
  if (sub.size() < long_needle || sub.size() > text.size()) return text.rfind(sub, limit);
  const size_t end = limit < text.size() - sub.size() ? limit + sub.size() : text.size();
  using back = std::reverse_iterator<const char*>;
  const back from(text.data() + end);
  const back to(text.data());
  const back hit = bounded_search(from, to, back(sub.data() + sub.size()), back(sub.data()));
  return hit == to ? npos : static_cast<size_t>(hit.base() - text.data()) - sub.size();
}

int64_t position(size_t found) { return found == npos ? -1 : static_cast<int64_t>(found); }

std::string without_whitespace(std::string_view text) {
  std::string compact;
  compact.reserve(text.size());
  for (char c : text) {
    if (!trv_is_space(c)) compact.push_back(c);
  }
  return compact;
}

}  // namespace

size_t trv_find_text(std::string_view text, std::string_view sub, size_t from) {
  if (from >= text.size() || sub.size() > text.size() - from) return npos;
  if (sub.size() == 1) {
    const void* hit = std::memchr(text.data() + from, sub[0], text.size() - from);
    return hit == nullptr ? npos : static_cast<size_t>(static_cast<const char*>(hit) - text.data());
  }
  if (sub.size() < long_needle) return text.find(sub, from);
  const char* const end = text.data() + text.size();
  const char* hit = bounded_search(text.data() + from, end, sub.data(), sub.data() + sub.size());
  return hit == end ? npos : static_cast<size_t>(hit - text.data());
}

size_t trv_count_byte(std::string_view text, char byte) {
  // Counting a block of up to 255 bytes in an 8-bit sum lets the compiler compare and add a
  // whole vector register of bytes at a time.
  size_t total = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t end = std::min(text.size(), i + 255);
    uint8_t block = 0;
    for (; i < end; ++i) block += static_cast<uint8_t>(text[i] == byte);
    total += block;
  }
  return total;
}

int64_t trv_count(std::string_view text, std::string_view sub) {
  if (sub.empty()) return 0;
  if (sub.size() == 1) return static_cast<int64_t>(trv_count_byte(text, sub[0]));
  int64_t count = 0;
  for (size_t at = trv_find_text(text, sub, 0); at != npos;
       at = trv_find_text(text, sub, at + sub.size())) {
    ++count;
  }
  return count;
}

int64_t trv_find(std::string_view text, std::string_view sub, std::optional<int64_t> start) {
  const size_t from = forward_start(start, text.size());
  if (sub.empty()) return static_cast<int64_t>(from);
  return position(trv_find_text(text, sub, from));
}

int64_t trv_rfind(std::string_view text, std::string_view sub, std::optional<int64_t> start) {
  // std::string_view::rfind reports the last match beginning at or before its position, and
  // an empty sub at that position (clamped to the size).
  return position(find_last(text, sub, backward_limit(start, text.size())));
}

int64_t trv_find_first_of(std::string_view text, std::string_view chars,
                          std::optional<int64_t> start, bool in_set) {
  const trv_byte_set set(chars);
  for (size_t i = forward_start(start, text.size()); i < text.size(); ++i) {
    if (set.contains(text[i]) == in_set) return static_cast<int64_t>(i);
  }
  return -1;
}

int64_t trv_find_last_of(std::string_view text, std::string_view chars,
                         std::optional<int64_t> start, bool in_set) {
  const trv_byte_set set(chars);
  const size_t limit = backward_limit(start, text.size());
  for (size_t i = limit == npos ? text.size() : limit + 1; i-- > 0;) {
    if (set.contains(text[i]) == in_set) return static_cast<int64_t>(i);
  }
  return -1;
}

bool trv_contains_ignoring_whitespace(std::string_view text, std::string_view sub) {
  const std::string compact_sub = without_whitespace(sub);
  return trv_find(without_whitespace(text), compact_sub, std::nullopt) >= 0;
}
