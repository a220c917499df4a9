#include "stdlib/json/json_print.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <vector>

#include "stdlib/json/json_bool.h"
#include "stdlib/json/path_guard.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "values/cursor_writer.h"
#include "values/report.h"

namespace {

using json = nlohmann::json;
using json_serializer = nlohmann::detail::serializer<json>;

// Bytes a string's text keeps as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> plain_bytes = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  return plain;
}();

// The UTF-8 sequence starting with a byte of 0x80 or above: its length when it is well formed
// (no overlong form, no surrogate, nothing beyond U+10FFFF). A malformed one is replaced by
// U+FFFD as the library's decoder does: a byte that cannot start a sequence alone; otherwise
// the start and the continuation bytes before the first byte that cannot follow them (that
// byte is read again on its own); a sequence cut short by the end of the text whole.
struct utf8_sequence {
  size_t length;
  bool valid;
};

utf8_sequence scan_utf8(const unsigned char* at, const unsigned char* end) {
  const unsigned char lead = *at;
  size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte; later ones are 0x80..0xBF
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below
    if (lead == 0xED) high = 0x9F;  // surrogates above
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF above
  } else {
    return {1, false};
  }
  for (size_t i = 1; i < length; ++i) {
    if (at + i == end || at[i] < low || at[i] > high) return {i, false};
    low = 0x80;
    high = 0xBF;
  }
  return {length, true};
}

// The text being printed, written through a cursor into room the string has been sized to,
// and cut to the written length at the end.
class text_sink : public trv_cursor_writer<std::string> {
 public:
  using trv_cursor_writer::trv_cursor_writer;

  void push_back(char c) {
    char* at = room(1);
    *at = c;
    advance(at + 1);
  }
  void append(const char* bytes, size_t count) {
    char* at = room(count);
    std::memcpy(at, bytes, count);
    advance(at + count);
  }
  void append(std::string_view bytes) { append(bytes.data(), bytes.size()); }
  void append(size_t count, char c) {
    char* at = room(count);
    std::memset(at, c, count);
    advance(at + count);
  }
};

// Writes containers as the library would write the document they map to: a container
// without keyed entries as an array, any other as an object whose members are sorted by key
// (keyless entries under ""), the last of equal keys winning; an empty container as {}.
// Scalars and strings are written here, byte for byte as the library's serializer writes
// them with ensure_ascii off and the replace handler; the serializer itself is made only for
// the debug view's records and for what a json.bool writes other than a boolean.
class text_writer {
 public:
  // A conversion of `root`, which admit() has let in.
  text_writer(std::string& out, trv_std_json& root, bool compact, bool debug)
      : out_(out),
        pretty_(!compact),
        debug_(debug),
        root_(&root),
        outer_(innermost()),
        guard_(outer_ != nullptr ? outer_->guard_.total_depth() : 0) {
    innermost() = this;
  }
  ~text_writer() { innermost() = outer_; }
  text_writer(const text_writer&) = delete;
  text_writer& operator=(const text_writer&) = delete;

  // Whether a conversion of `root` may start inside those running on this thread: not when
  // one of them converts `root` already (a cycle), nor past `max_nested` of them.
  static trv_json_path_guard::entry admit(const trv_std_json& root, size_t max_nested) {
    size_t running = 0;
    for (const text_writer* w = innermost(); w != nullptr; w = w->outer_, ++running) {
      if (w->root_ == &root) return trv_json_path_guard::entry::cycle;
    }
    return running >= max_nested ? trv_json_path_guard::entry::too_deep
                                 : trv_json_path_guard::entry::entered;
  }

  void write() { write_container(root_, 0); }
  void write_container(trv_std_json* container, unsigned indent);

  // The refusal met last in entry order (the order the document would be built in).
  trv_json_path_guard::entry refusal() const { return refusal_; }

 private:
  void write_value(const trvvar_shared& value, unsigned indent);
  void write_object(trv_std_json& container, unsigned indent, bool in_order);
  void write_array(trv_std_json& container, unsigned indent);
  void write_member(const trv_json_entry& entry, uint32_t position, unsigned indent);
  void write_debug_value(const trvvar& value, unsigned indent);
  void write_document(const json& value, unsigned indent);
  void write_string(std::string_view text);
  void write_escaped(unsigned char c);
  void write_integer(int64_t value);
  void write_float(double value);
  void write_marker(trv_json_path_guard::entry refusal);
  void open(char bracket) {
    out_.push_back(bracket);
    if (pretty_) out_.push_back('\n');
  }
  void separate(bool last, unsigned indent) {
    if (!last) out_.push_back(',');
    if (pretty_) out_.push_back('\n');
    if (last && pretty_) out_.append(indent, ' ');
  }
  void indent_to(unsigned indent) {
    if (pretty_) out_.append(indent, ' ');
  }
  // The position of the entry being written in the innermost container on the path.
  void set_position(uint32_t position) { position_[guard_.depth() - 1] = position; }

  static constexpr unsigned step = 4;

  // The writer running innermost on this thread, or null.
  static const text_writer*& innermost() {
    thread_local const text_writer* running = nullptr;
    return running;
  }

  text_sink out_;
  bool pretty_;
  bool debug_;
  std::optional<json_serializer> serializer_;
  json scalar_;  // what a json.bool writes, and debug records
  trv_std_json* root_;
  // The writer this one runs inside (a reference entry's target is converted inside the
  // conversion of the container holding it), whose open containers count against the depth
  // limit of this one's guard: each level of either takes stack.
  const text_writer* outer_;
  trv_json_path_guard guard_;
  std::vector<uint32_t> position_;  // per container on the path, the entry being written
  std::vector<uint32_t> refusal_position_;
  std::vector<uint32_t> order_;  // member orders of the unsorted objects on the path
  trv_json_path_guard::entry refusal_ = trv_json_path_guard::entry::entered;
};

void text_writer::write_document(const json& value, unsigned indent) {
  if (!pretty_) {
    if (!serializer_) {
      serializer_.emplace(nlohmann::detail::output_adapter<char, std::string>(out_.settle()), ' ',
                          json::error_handler_t::replace);
    }
    out_.settle();
    serializer_->dump(value, false, false, step, 0);
    out_.resume();
    return;
  }
  // The serializer's indent text grows by one doubling per level it goes down, so it cannot
  // start at any depth (past 512 columns it reads beyond its end): the document is written from
  // column 0, and its lines are indented here.
  const std::string text = value.dump(step, ' ', false, json::error_handler_t::replace);
  const std::string_view lines = text;
  size_t start = 0;
  for (size_t newline = lines.find('\n'); newline != lines.npos;
       start = newline + 1, newline = lines.find('\n', start)) {
    out_.append(lines.substr(start, newline + 1 - start));
    out_.append(indent, ' ');
  }
  out_.append(lines.substr(start));
}

void text_writer::write_string(std::string_view text) {
  const auto* at = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = at + text.size();
  const auto* run = at;  // the bytes since the last escape or replacement, copied as they are
  auto copy_run = [&] {
    if (at != run) out_.append(reinterpret_cast<const char*>(run), at - run);
  };
  out_.push_back('"');
  while (at != end) {
    if (plain_bytes[*at]) {
      ++at;
    } else if (*at < 0x80) {
      copy_run();
      write_escaped(*at++);
      run = at;
    } else {
      const utf8_sequence sequence = scan_utf8(at, end);
      if (!sequence.valid) {
        copy_run();
        out_.append("\xEF\xBF\xBD");
        run = at + sequence.length;
      }
      at += sequence.length;
    }
  }
  copy_run();
  out_.push_back('"');
}

void text_writer::write_escaped(unsigned char c) {
  char escape[6] = {'\\', 0, 0, 0, 0, 0};
  switch (c) {
    case '\b':
      escape[1] = 'b';
      break;
    case '\t':
      escape[1] = 't';
      break;
    case '\n':
      escape[1] = 'n';
      break;
    case '\f':
      escape[1] = 'f';
      break;
    case '\r':
      escape[1] = 'r';
      break;
    case '"':
    case '\\':
      escape[1] = static_cast<char>(c);
      break;
    default:  // the other control characters, in lower-case hex
      static constexpr char hex[] = "0123456789abcdef";
      const char unicode[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
      out_.append(unicode, sizeof unicode);
      return;
  }
  out_.append(escape, 2);
}

void text_writer::write_integer(int64_t value) {
  constexpr size_t room = 20;  // "-9223372036854775808"
  char* digits = out_.room(room);
  out_.advance(std::to_chars(digits, digits + room, value).ptr);
}

void text_writer::write_float(double value) {
  if (!std::isfinite(value)) {
    out_.append("null");
    return;
  }
  // The library's shortest round-trip form; it writes integral values with ".0".
  constexpr size_t room = 64;  // as much as the library gives it
  char* digits = out_.room(room);
  out_.advance(nlohmann::detail::to_chars(digits, digits + room, value));
}

void text_writer::write_marker(trv_json_path_guard::entry refusal) {
  const auto path = position_.begin() + static_cast<ptrdiff_t>(guard_.depth());
  if (refusal_ == trv_json_path_guard::entry::entered ||
      !std::lexicographical_compare(position_.begin(), path, refusal_position_.begin(),
                                    refusal_position_.end())) {
    refusal_ = refusal;
    refusal_position_.assign(position_.begin(), path);
  }
  write_string(refusal == trv_json_path_guard::entry::too_deep ? "<nested too deeply>" : "<cycle>");
}

// The container of a json value (trv_json_of), its class checked by tag without a virtual call.
trv_std_json* nested_container(const trvvar& v) {
  trvobject_base* object = v.payload.object.get();
  if (object != nullptr && object->class_type_tag == trv_type_tag<trv_std_json>()) {
    return static_cast<trv_std_json*>(object);
  }
  return trv_json_of(v);
}

std::string_view member_name(const trv_json_entry& e) {
  return *e.key;  // empty for a keyless entry
}

// Byte-wise order of member names; most names differ in their first byte.
bool sorts_before(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a[0] != b[0]) {
    return static_cast<unsigned char>(a[0]) < static_cast<unsigned char>(b[0]);
  }
  return a < b;
}

void text_writer::write_container(trv_std_json* container, unsigned indent) {
  if (container == nullptr) {
    out_.append("null");
    return;
  }
  const trv_json_path_guard::entry entered = guard_.enter(container);
  if (entered != trv_json_path_guard::entry::entered) {
    write_marker(entered);
    return;
  }
  if (position_.size() < guard_.depth()) position_.resize(guard_.depth());
  // One pass: whether any entry has a key, and whether the names already ascend strictly
  // (the members in document order, none overwritten).
  const trv_json_entry_vector& entries = container->entries;
  bool keyed = false;
  bool ascending = true;
  for (size_t i = 0; i < entries.size(); ++i) {
    keyed = keyed || (entries[i].key && !entries[i].key->empty());
    ascending =
        ascending && (i == 0 || sorts_before(member_name(entries[i - 1]), member_name(entries[i])));
  }
  if (entries.empty()) {
    out_.append("{}");
  } else if (keyed) {
    write_object(*container, indent, ascending);
  } else {
    write_array(*container, indent);
  }
  guard_.leave();
}

void text_writer::write_array(trv_std_json& container, unsigned indent) {
  open('[');
  const size_t count = container.entries.size();
  for (size_t i = 0; i < count; ++i) {
    indent_to(indent + step);
    set_position(static_cast<uint32_t>(i));
    write_value(container.entries[i].value, indent + step);
    separate(i + 1 == count, indent);
  }
  out_.push_back(']');
}

void text_writer::write_object(trv_std_json& container, unsigned indent, bool in_order) {
  const trv_json_entry_vector& entries = container.entries;
  const size_t count = entries.size();
  open('{');
  if (in_order) {
    for (size_t i = 0; i < count; ++i) {
      write_member(entries[i], static_cast<uint32_t>(i), indent);
      separate(i + 1 == count, indent);
    }
    out_.push_back('}');
    return;
  }
  // The order is kept on the shared stack, which nested objects grow: read it by offset.
  const size_t base = order_.size();
  for (uint32_t i = 0; i < count; ++i) order_.push_back(i);
  std::sort(order_.begin() + static_cast<ptrdiff_t>(base), order_.end(),
            [&](uint32_t a, uint32_t b) {
              const std::string_view name_a = member_name(entries[a]);
              const std::string_view name_b = member_name(entries[b]);
              return name_a < name_b || (name_a == name_b && a < b);
            });
  for (size_t i = 0; i < count; ++i) {
    const uint32_t position = order_[base + i];
    const bool overwritten = i + 1 < count && member_name(entries[position]) ==
                                                  member_name(entries[order_[base + i + 1]]);
    if (overwritten) {
      // The document would convert the value and then replace it: convert it for its
      // warnings, and drop its text.
      const size_t mark = out_.size();
      write_member(entries[position], position, indent);
      out_.cut_back(mark);
      continue;
    }
    write_member(entries[position], position, indent);
    separate(i + 1 == count, indent);
  }
  order_.resize(base);
  out_.push_back('}');
}

void text_writer::write_member(const trv_json_entry& entry, uint32_t position, unsigned indent) {
  indent_to(indent + step);
  write_string(member_name(entry));
  out_.append(pretty_ ? std::string_view(": ") : std::string_view(":"));
  set_position(position);
  write_value(entry.value, indent + step);
}

void text_writer::write_value(const trvvar_shared& handle, unsigned indent) {
  if (!handle) {
    out_.append("null");
    return;
  }
  const trvvar& v = *handle;
  if (v.type == TRVVAR_JSON) {
    trv_std_json* nested = nested_container(v);
    if (nested != nullptr) {
      write_container(nested, indent);
      return;
    }
    if (!debug_) {
      out_.append("{}");
      return;
    }
  }
  if (debug_) return write_debug_value(v, indent);
  switch (v.type) {
    case TRVVAR_NONE:
      out_.append("null");
      return;
    case TRVVAR_INT:
      return write_integer(v.payload.int_value);
    case TRVVAR_FLOAT:
      return write_float(v.payload.float_value);
    case TRVVAR_STRING:
      return write_string(static_cast<trv_std_string&>(*v.payload.object).text);
    case TRVVAR_OBJECT:
      if (auto* b = trv_object_cast<trv_std_json_bool>(v.payload.object_payload->object.get())) {
        b->write_json(scalar_);
        if (scalar_.is_boolean()) {
          out_.append(scalar_.get<bool>() ? std::string_view("true") : std::string_view("false"));
          return;
        }
        return write_document(scalar_, indent);
      }
      break;
    default:
      break;
  }
  write_string(trvvar_string_value(v));
}

void text_writer::write_debug_value(const trvvar& v, unsigned indent) {
  scalar_ = json::object();
  scalar_["is_ref"] = v.type == TRVVAR_REF;
  scalar_["refcount"] = v.refcount;
  scalar_["type"] = trvvar_type_name(v.type);
  write_document(scalar_, indent);
}

void warn_refusal(trv_json_path_guard::entry refusal, std::string_view verb,
                  size_t limit = trv_json_path_guard::limit) {
  if (refusal == trv_json_path_guard::entry::cycle) {
    trv_runtime_warning("JSON contains a reference to itself, ", verb,
                        " \"<cycle>\" instead of recursing forever.");
  } else if (refusal == trv_json_path_guard::entry::too_deep) {
    trv_runtime_warning("JSON nesting exceeds the maximum depth of ", limit, ", ", verb,
                        " \"<nested too deeply>\" for the rest.");
  }
}

// A reference entry prints as the text of what it refers to, so converting one container can
// convert another inside it, or the same one again. Each level embeds the inner text as an
// escaped string, which doubles its backslashes, so such nesting stops early.
constexpr size_t max_nested_conversions = 8;

std::string write_text_form(trv_std_json& container, bool compact, bool debug) {
  const std::string_view verb = debug ? "debug_refs shows" : "printing";
  if (const auto entered = text_writer::admit(container, max_nested_conversions);
      entered != trv_json_path_guard::entry::entered) {
    warn_refusal(entered, verb, max_nested_conversions);
    return entered == trv_json_path_guard::entry::cycle ? "\"<cycle>\"" : "\"<nested too deeply>\"";
  }
  std::string out;
  trv_json_path_guard::entry refusal = trv_json_path_guard::entry::entered;
  try {
    text_writer writer(out, container, compact, debug);
    writer.write();
    refusal = writer.refusal();
  } catch (const std::exception&) {
    out.clear();
  }
  warn_refusal(refusal, verb);
  return out;
}

}  // namespace

std::string trv_json_to_text(trv_std_json& container, bool compact) {
  return write_text_form(container, compact, false);
}

std::string trv_json_debug_text(trv_std_json& container, bool compact) {
  return write_text_form(container, compact, true);
}

std::string trv_std_json::to_string() { return trv_json_to_text(*this, false); }

std::string trv_json_compact_text(trvobject_base& container) {
  return trv_json_to_text(static_cast<trv_std_json&>(container), true);
}
