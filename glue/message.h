#pragma once

// Messages are built like an output string stream: pieces concatenated, integers in decimal,
// floating-point numbers as "%g" does, characters as themselves, and pointers as 16
// upper-case hexadecimal digits (the same on every platform).

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace trv_message_detail {

inline void append(std::string& out, std::string_view text) { out.append(text); }
inline void append(std::string& out, const char* text) { out.append(text); }
inline void append(std::string& out, const std::string& text) { out.append(text); }
inline void append(std::string& out, char c) { out.push_back(c); }
inline void append(std::string& out, bool b) { out.push_back(b ? '1' : '0'); }

template <class T>
requires(std::integral<T> && !std::same_as<T, char> &&
         !std::same_as<T, bool>) void append(std::string& out, T value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, end);
}

template <class T>
requires std::floating_point<T>
void append(std::string& out, T value) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 6);
  out.append(buf, end);
}

void append_pointer(std::string& out, const void* p);

// Character pointers are text; every other pointer is an address.
template <class T>
void append(std::string& out, T* p) {
  if constexpr (std::is_same_v<std::remove_cv_t<T>, char>) {
    out.append(p);
  } else {
    append_pointer(out, static_cast<const void*>(p));
  }
}

}  // namespace trv_message_detail

template <class... Pieces>
std::string trv_message(const Pieces&... pieces) {
  std::string out;
  (trv_message_detail::append(out, pieces), ...);
  return out;
}
