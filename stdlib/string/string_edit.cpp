#include "stdlib/string/string_edit.h"

#include <algorithm>
#include <stdexcept>

#include "stdlib/string/ascii.h"

void trv_lowercase(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(), trv_ascii_lower);
}

void trv_uppercase(std::string& text) {
  std::transform(text.begin(), text.end(), text.begin(), trv_ascii_upper);
}

void trv_trim(std::string& text) {
  trv_rtrim(text);
  trv_ltrim(text);
}

void trv_ltrim(std::string& text) {
  text.erase(0, std::find_if_not(text.begin(), text.end(), trv_is_space) - text.begin());
}

void trv_rtrim(std::string& text) {
  text.erase(std::find_if_not(text.rbegin(), text.rend(), trv_is_space).base(), text.end());
}

std::string trv_rstrip_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t p = 0;
  while (p < text.size()) {
    const size_t lf = text.find('\n', p);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    const bool crlf = lf != std::string_view::npos && lf > p && text[lf - 1] == '\r';
    if (crlf) --end;
    while (end > p && trv_is_space(text[end - 1]) && text[end - 1] != '\r') --end;
    out.append(text.substr(p, end - p));
    if (lf == std::string_view::npos) break;
    if (crlf) out.push_back('\r');
    out.push_back('\n');
    p = lf + 1;
  }
  return out;
}

void trv_compress_whitespace(std::string& text) {
  size_t write = 0;
  bool in_run = false;
  for (char c : text) {
    const bool space = trv_is_space(c);
    if (!space) {
      text[write++] = c;
    } else if (!in_run) {
      text[write++] = ' ';
    }
    in_run = space;
  }
  text.resize(write);
}

std::string_view trv_substr(std::string_view text, int64_t start, std::optional<int64_t> count) {
  const int64_t size = static_cast<int64_t>(text.size());
  if (start < 0) start += size;
  start = std::clamp<int64_t>(start, 0, size);
  int64_t n = count.value_or(-1);
  if (n < 0 || n > size - start) n = size - start;  // compared so that it cannot overflow
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(n));
}

std::string trv_justify(std::string_view text, uint64_t width, char fill, trv_justification how) {
  if (text.size() >= width) return std::string(text);
  std::string out;
  if (width > out.max_size()) throw std::length_error("string too long");
  const size_t surplus = width - text.size();
  const size_t before = how == trv_justification::left    ? 0
                        : how == trv_justification::right ? surplus
                                                          : surplus / 2;
  out.reserve(width);
  out.append(before, fill).append(text).append(surplus - before, fill);
  return out;
}

std::string_view trv_removeprefix(std::string_view text, std::string_view prefix) {
  return text.starts_with(prefix) ? text.substr(prefix.size()) : text;
}

std::string_view trv_removesuffix(std::string_view text, std::string_view suffix) {
  return text.ends_with(suffix) ? text.substr(0, text.size() - suffix.size()) : text;
}

void trv_remove_chars(std::string& text, std::string_view chars) {
  const trv_byte_set remove(chars);
  std::erase_if(text, [&remove](char c) { return remove.contains(c); });
}

void trv_keep_chars(std::string& text, std::string_view keep) {
  const trv_byte_set kept(keep);
  std::erase_if(text, [&kept](char c) { return !kept.contains(c); });
}

void trv_write_at(std::string& text, int64_t index, std::string_view piece) {
  if (index < 0) index += static_cast<int64_t>(text.size());
  const size_t at = index < 0 ? 0 : static_cast<size_t>(index);
  if (at > text.size()) text.resize(at, ' ');
  if (piece.size() > text.size() - at) {
    text.resize(at);
    text.append(piece);
  } else {
    text.replace(at, piece.size(), piece);
  }
}
