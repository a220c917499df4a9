#include "stdlib/json/json_text.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "glue/log.h"
#include "stdlib/buffer/std_buffer.h"
#include "stdlib/json/json_bool.h"
#include "stdlib/json/json_salvage.h"
#include "stdlib/json/path_guard.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/report.h"

namespace {

using json = nlohmann::json;
using json_serializer = nlohmann::detail::serializer<json>;

// ---- printing ----

// Writes containers as the library would write the document they map to: a container
// without keyed entries as an array, any other as an object whose members are sorted by key
// (keyless entries under ""), the last of equal keys winning; an empty container as {}. The
// library's serializer writes every scalar and escapes every string.
class text_writer {
 public:
  text_writer(std::string& out, bool compact, bool debug)
      : out_(out),
        serializer_(nlohmann::detail::output_adapter<char, std::string>(out), ' ',
                    json::error_handler_t::replace),
        pretty_(!compact),
        debug_(debug),
        text_(json::value_t::string) {}

  void write_container(trv_std_json* container, unsigned indent);

  // The refusal met last in entry order (the order the document would be built in).
  trv_json_path_guard::entry refusal() const { return refusal_; }

 private:
  void write_value(const trvvar_shared& value, unsigned indent);
  void write_object(trv_std_json& container, unsigned indent);
  void write_array(trv_std_json& container, unsigned indent);
  void write_member(const trv_json_entry& entry, uint32_t position, unsigned indent);
  void write_debug_value(const trvvar& value, unsigned indent);
  void write_document(const json& value, unsigned indent) {
    serializer_.dump(value, pretty_, false, step, indent);
  }
  void write_text(std::string& text);
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

  static constexpr unsigned step = 4;

  std::string& out_;
  json_serializer serializer_;
  bool pretty_;
  bool debug_;
  json text_;    // a string value whose text is swapped in for writing
  json scalar_;  // numbers, booleans and debug records
  trv_json_path_guard guard_;
  std::vector<uint32_t> position_;  // entry positions on the current path
  std::vector<uint32_t> refusal_position_;
  trv_json_path_guard::entry refusal_ = trv_json_path_guard::entry::entered;
};

// The text is lent to the serializer's string value, not copied.
void text_writer::write_text(std::string& text) {
  std::string& held = text_.get_ref<std::string&>();
  held.swap(text);
  write_document(text_, 0);
  held.swap(text);
}

void text_writer::write_marker(trv_json_path_guard::entry refusal) {
  if (refusal_ == trv_json_path_guard::entry::entered ||
      !std::lexicographical_compare(position_.begin(), position_.end(), refusal_position_.begin(),
                                    refusal_position_.end())) {
    refusal_ = refusal;
    refusal_position_ = position_;
  }
  std::string marker =
      refusal == trv_json_path_guard::entry::too_deep ? "<nested too deeply>" : "<cycle>";
  write_text(marker);
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
  const bool keyed = std::any_of(container->entries.begin(), container->entries.end(),
                                 [](const trv_json_entry& e) { return e.key && !e.key->empty(); });
  if (container->entries.empty()) {
    out_.append("{}");
  } else if (keyed) {
    write_object(*container, indent);
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
    position_.push_back(static_cast<uint32_t>(i));
    write_value(container.entries[i].value, indent + step);
    position_.pop_back();
    separate(i + 1 == count, indent);
  }
  out_.push_back(']');
}

std::string_view member_name(const trv_json_entry& e) {
  return e.key ? std::string_view(*e.key) : std::string_view();
}

void text_writer::write_object(trv_std_json& container, unsigned indent) {
  std::vector<uint32_t> order(container.entries.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto& entries = container.entries;
  auto by_name = [&](uint32_t a, uint32_t b) {
    return member_name(entries[a]) < member_name(entries[b]);
  };
  if (!std::is_sorted(order.begin(), order.end(), by_name)) {
    std::stable_sort(order.begin(), order.end(), by_name);
  }
  open('{');
  for (size_t i = 0; i < order.size(); ++i) {
    const bool overwritten = i + 1 < order.size() &&
                             member_name(entries[order[i]]) == member_name(entries[order[i + 1]]);
    if (overwritten) {
      // The document would convert the value and then replace it: convert it for its
      // warnings, and drop its text.
      const size_t mark = out_.size();
      write_member(entries[order[i]], order[i], indent);
      out_.resize(mark);
      continue;
    }
    write_member(entries[order[i]], order[i], indent);
    separate(i + 1 == order.size(), indent);
  }
  out_.push_back('}');
}

void text_writer::write_member(const trv_json_entry& entry, uint32_t position, unsigned indent) {
  indent_to(indent + step);
  std::string name(*entry.key);
  write_text(name);
  out_.append(pretty_ ? ": " : ":");
  position_.push_back(position);
  write_value(entry.value, indent + step);
  position_.pop_back();
}

void text_writer::write_value(const trvvar_shared& handle, unsigned indent) {
  if (!handle) {
    out_.append("null");
    return;
  }
  const trvvar& v = *handle;
  if (v.type == TRVVAR_JSON) {
    trv_std_json* nested = trv_json_of(v);
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
      scalar_ = v.payload.int_value;
      return write_document(scalar_, indent);
    case TRVVAR_FLOAT:
      scalar_ = v.payload.float_value;
      return write_document(scalar_, indent);
    case TRVVAR_STRING:
      return write_text(trv_string_object_text(*v.payload.object));
    case TRVVAR_OBJECT:
      if (auto* b = trv_object_cast<trv_std_json_bool>(v.payload.object_payload->object.get())) {
        b->write_json(scalar_);
        return write_document(scalar_, indent);
      }
      break;
    default:
      break;
  }
  std::string text = trvvar_string_value(v);
  write_text(text);
}

void text_writer::write_debug_value(const trvvar& v, unsigned indent) {
  scalar_ = json::object();
  scalar_["is_ref"] = v.type == TRVVAR_REF;
  scalar_["refcount"] = v.refcount;
  scalar_["type"] = trvvar_type_name(v.type);
  write_document(scalar_, indent);
}

void warn_refusal(trv_json_path_guard::entry refusal, std::string_view verb) {
  if (refusal == trv_json_path_guard::entry::cycle) {
    trv_runtime_warning("JSON contains a reference to itself, ", verb,
                        " \"<cycle>\" instead of recursing forever.");
  } else if (refusal == trv_json_path_guard::entry::too_deep) {
    trv_runtime_warning("JSON nesting exceeds the maximum depth of ", trv_json_path_guard::limit,
                        ", ", verb, " \"<nested too deeply>\" for the rest.");
  }
}

std::string write_text_form(trv_std_json& container, bool compact, bool debug) {
  std::string out;
  trv_json_path_guard::entry refusal = trv_json_path_guard::entry::entered;
  try {
    text_writer writer(out, compact, debug);
    writer.write_container(&container, 0);
    refusal = writer.refusal();
  } catch (const std::exception&) {
    out.clear();
  }
  warn_refusal(refusal, debug ? "debug_refs shows" : "printing");
  return out;
}

// ---- parsing ----

// Builds entries from the parser's events: arrays as keyless entries, objects as keyed
// entries sorted by key with the last of equal keys kept (the document's rules), containers
// nested through json values. Works with an explicit stack, so nesting depth costs no native
// stack. The entries of the open containers wait in one shared vector, each container's in a
// range above its parent's, and move into their container in one exactly sized allocation
// when it closes.
class entry_builder {
 public:
  // The stacks keep their storage (up to a bound) from one parse to the next on this thread:
  // growing them anew for every document would cost large allocations, which make the heap
  // sort through every small block freed since.
  explicit entry_builder(trv_std_json& root)
      : root_(root), open_(std::move(spare_open)), pending_(std::move(spare_pending)) {}
  ~entry_builder() {
    open_.clear();
    pending_.clear();  // what a failed parse left open goes now
    if (pending_.capacity() * sizeof(trv_json_entry) + open_.capacity() * sizeof(open_container) <=
        kept_bytes) {
      spare_open = std::move(open_);
      spare_pending = std::move(pending_);
    }
  }
  entry_builder(const entry_builder&) = delete;
  entry_builder& operator=(const entry_builder&) = delete;

  size_t error_position = 0;

  bool null() {
    slot();
    return true;
  }
  bool boolean(bool value) {
    trv_json_bool_store(slot(), value);
    return true;
  }
  bool number_integer(int64_t value) {
    trvvar_set_int(slot(), value);
    return true;
  }
  bool number_unsigned(uint64_t value) {
    trvvar_set_int(slot(), static_cast<int64_t>(value));
    return true;
  }
  bool number_float(double value, const std::string& /*text*/) {
    trvvar_set_float(slot(), value);
    return true;
  }
  bool string(std::string& value) {
    trvvar_set_string(slot(), value);
    return true;
  }
  bool binary(json::binary_t& value) {
    trvvar_get_or_make_binary(slot()).assign(value.begin(), value.end());
    return true;
  }
  bool start_object(size_t /*size*/) {
    open();
    return true;
  }
  bool key(std::string& name) {
    pending_.push_back({trv_json_key(name), trvvar_new()});
    key_pending_ = true;
    return true;
  }
  bool end_object();
  bool start_array(size_t /*size*/) {
    open();
    return true;
  }
  bool end_array() {
    std::vector<trv_json_entry> items = close();
    open_.back().container->entries = std::move(items);
    open_.pop_back();
    return true;
  }
  bool parse_error(size_t position, const std::string& /*last_token*/,
                   const nlohmann::detail::exception& /*error*/) {
    error_position = position;
    return false;
  }

 private:
  struct open_container {
    trv_std_json* container;
    size_t first;  // where its entries begin in pending_
  };

  trvvar& slot();
  void open();
  // The innermost open container's entries, taken out of pending_.
  std::vector<trv_json_entry> close();

  trv_std_json& root_;
  std::vector<open_container> open_;     // innermost last
  std::vector<trv_json_entry> pending_;  // the open containers' entries
  bool key_pending_ = false;             // an object's entry waits for its value

  static constexpr size_t kept_bytes = size_t{16} << 20;
  static thread_local std::vector<open_container> spare_open;
  static thread_local std::vector<trv_json_entry> spare_pending;
};

thread_local std::vector<entry_builder::open_container> entry_builder::spare_open;
thread_local std::vector<trv_json_entry> entry_builder::spare_pending;

// The variable the next value goes to.
trvvar& entry_builder::slot() {
  if (open_.empty()) return *root_.add_keyless();
  if (!key_pending_) pending_.push_back({nullptr, trvvar_new()});
  key_pending_ = false;
  return *pending_.back().value;
}

void entry_builder::open() {
  if (open_.empty()) {
    open_.push_back({&root_, pending_.size()});
    return;
  }
  trvvar& v = slot();
  trvvar_set_type(v, TRVVAR_JSON);
  open_.push_back({trv_json_of(v), pending_.size()});
}

std::vector<trv_json_entry> entry_builder::close() {
  const auto first = pending_.begin() + static_cast<ptrdiff_t>(open_.back().first);
  std::vector<trv_json_entry> taken(std::make_move_iterator(first),
                                    std::make_move_iterator(pending_.end()));
  pending_.erase(first, pending_.end());
  return taken;
}

// Byte-wise order, as std::string_view orders: keys are short and mostly differ early, where
// a byte loop beats a call to memcmp.
bool key_less(std::string_view a, std::string_view b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
  }
  return a.size() < b.size();
}

// Stable, and without the buffer std::stable_sort allocates: objects are mostly small.
template <class Less>
void sort_members(std::vector<trv_json_entry>& members, Less less) {
  if (std::is_sorted(members.begin(), members.end(), less)) return;
  if (members.size() > 32) {
    std::stable_sort(members.begin(), members.end(), less);
    return;
  }
  for (size_t i = 1; i < members.size(); ++i) {
    trv_json_entry moving = std::move(members[i]);
    size_t j = i;
    for (; j > 0 && less(moving, members[j - 1]); --j) members[j] = std::move(members[j - 1]);
    members[j] = std::move(moving);
  }
}

bool entry_builder::end_object() {
  std::vector<trv_json_entry> members = close();
  sort_members(members, [](const trv_json_entry& a, const trv_json_entry& b) {
    return key_less(*a.key, *b.key);
  });
  // Of equal keys the last parsed wins.
  size_t kept = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    if (i + 1 < members.size() && *members[i].key == *members[i + 1].key) continue;
    if (kept != i) members[kept] = std::move(members[i]);
    ++kept;
  }
  members.resize(kept);
  open_.back().container->adopt_distinct_keyed(std::move(members));
  open_.pop_back();
  return true;
}

bool build_entries(trv_std_json& container, std::string_view text, size_t* error_position) {
  entry_builder builder(container);
  if (json::sax_parse(text, &builder, json::input_format_t::json, true, true)) return true;
  if (error_position != nullptr) *error_position = builder.error_position;
  container.clear();
  return false;
}

// The parse input: from the first opening brace, bracket or quote to the last closing brace,
// bracket or quote after it (to the end of the text when there is none).
std::string_view trimmed(std::string_view text) {
  const size_t first = text.find_first_of("{[\"");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_of("}]\"");
  if (last == std::string_view::npos || last < first) return text.substr(first);
  return text.substr(first, last - first + 1);
}

}  // namespace

std::string trv_json_to_text(trv_std_json& container, bool compact) {
  return write_text_form(container, compact, false);
}

std::string trv_json_debug_text(trv_std_json& container, bool compact) {
  return write_text_form(container, compact, true);
}

bool trv_json_from_string(trv_std_json& container, std::string_view text, bool suppress_errors) {
  container.clear();
  if (text.empty()) return false;
  const std::string_view input = trimmed(text);
  if (input.empty()) {
    if (!suppress_errors) trv_log(TRV_LOG_ERROR, text, "\n\ninvalid json: ", text);
    return false;
  }
  size_t error_position = 0;
  if (build_entries(container, input, &error_position)) return true;

  const std::optional<trv_json_salvage> salvage = trv_json_find_salvage(input, error_position);
  if (!salvage) {
    if (!suppress_errors) {
      trv_log(TRV_LOG_ERROR, input, "\n\nJSON parse error: could not salvage any root value.");
    }
    return false;
  }
  std::string prefix(input.substr(0, salvage->length));
  if (salvage->closing != 0) prefix.push_back(salvage->closing);
  build_entries(container, prefix, nullptr);
  if (!suppress_errors) {
    trv_log(TRV_LOG_ERROR, input, "\n\nJSON parse error: salvaged prefix length ", salvage->length);
  }
  return true;
}

std::string trv_std_json::to_string() { return trv_json_to_text(*this, false); }

std::string trv_json_compact_text(trvobject_base& container) {
  return trv_json_to_text(static_cast<trv_std_json&>(container), true);
}
