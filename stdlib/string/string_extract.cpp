#include "stdlib/string/string_extract.h"

#include "glue/log.h"
#include "stdlib/string/string_search.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// An empty delimiter is found where the search starts.
size_t find_delimiter(std::string_view text, std::string_view delimiter, size_t from) {
  if (delimiter.empty()) return from <= text.size() ? from : npos;
  return trv_find_text(text, delimiter, from);
}

}  // namespace

std::string_view trv_extract(std::string_view text, std::string_view left, std::string_view right) {
  const size_t l = find_delimiter(text, left, 0);
  if (l == npos) return {};
  const size_t begin = l + left.size();
  const size_t r = find_delimiter(text, right, begin);
  if (r == npos) return {};
  return text.substr(begin, r - begin);
}

std::string_view trv_extract_quotes(std::string_view text) {
  const size_t q1 = text.find('"');
  const size_t q2 = text.rfind('"');
  if (q1 == npos || q2 <= q1 + 1) return text;
  return text.substr(q1 + 1, q2 - q1 - 1);
}

void trv_extract_all(std::string_view text, std::string_view left, std::string_view right,
                     trv_string_parts& parts) {
  if (left.empty() && right.empty()) {
    // Every pair would be found again at the same place. Like Python's re.findall("(.*?)",
    // text), the empty text between empty delimiters is found once at every position: before
    // each byte and at the end.
    for (size_t i = 0; i <= text.size(); ++i) parts.add({});
    return;
  }
  size_t pos = 0;
  while (left.size() <= text.size() - pos) {
    const size_t l = find_delimiter(text, left, pos);
    if (l == npos) return;
    const size_t begin = l + left.size();
    const size_t r = find_delimiter(text, right, begin);
    if (r == npos) {
      trv_log(TRV_LOG_WARNING, "extract_all: Missing right delimiter: ", right);
      return;
    }
    parts.add(text.substr(begin, r - begin));
    pos = r + right.size();
    if (pos >= text.size()) return;
  }
}
