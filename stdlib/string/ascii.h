#pragma once

// Byte classes of the string class. They are fixed tables, not the C locale: whitespace is
// exactly space, \t, \n, \v, \f and \r, and case mapping touches "A"-"Z" and "a"-"z" only, so
// bytes of multi-byte characters (0x80 and above) are never whitespace and never change case.

#include <array>
#include <string_view>

namespace trv_ascii_detail {

constexpr std::array<bool, 256> space_table() {
  std::array<bool, 256> table{};
  for (unsigned char c : std::string_view(" \t\n\v\f\r")) table[c] = true;
  return table;
}

inline constexpr std::array<bool, 256> is_space = space_table();

}  // namespace trv_ascii_detail

constexpr bool trv_is_space(char c) {
  return trv_ascii_detail::is_space[static_cast<unsigned char>(c)];
}

constexpr char trv_ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }
constexpr char trv_ascii_upper(char c) { return c >= 'a' && c <= 'z' ? char(c - ('a' - 'A')) : c; }

// A set of byte values, every one of the 256 included (NUL and 0x80-0xFF as well).
class trv_byte_set {
 public:
  constexpr explicit trv_byte_set(std::string_view bytes) {
    for (unsigned char c : bytes) members_[c] = true;
  }
  constexpr bool contains(char c) const { return members_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> members_{};
};

// The text without leading and trailing whitespace.
constexpr std::string_view trv_trim_view(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && trv_is_space(text[begin])) ++begin;
  while (end > begin && trv_is_space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}
