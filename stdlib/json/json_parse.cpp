#include "stdlib/json/json_parse.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>
#include <vector>

#include "glue/log.h"
#include "stdlib/buffer/std_buffer.h"
#include "stdlib/json/json_bool.h"
#include "stdlib/json/json_salvage.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"

namespace {

using json = nlohmann::json;

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
    if (open_.empty()) {
      trvvar_set_string(*root_.add_keyless(), value);
    } else {
      entry_value() = trv_new_string_var(value, owned_);
    }
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
    pending_.push_back({trv_json_key(name), trvvar_shared()});
    key_pending_ = true;
    return true;
  }
  bool end_object();
  bool start_array(size_t /*size*/) {
    open();
    return true;
  }
  bool end_array() {
    trv_json_entry_vector items = close();
    open_.back().container->adopt_entries(std::move(items));
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

  trvvar_shared& entry_value();
  trvvar& slot();
  void open();
  // The innermost open container's entries, taken out of pending_.
  trv_json_entry_vector close();

  trv_std_json& root_;
  // No script code runs during a parse, so the thread's ownership of its runtime stays as is.
  trv_runtime* const owned_ = trv_owned_runtime(trv_get_thread_local());
  std::vector<open_container> open_;     // innermost last
  trv_json_entry_vector pending_;        // the open containers' entries
  std::vector<std::string_view> names_;  // the closing object's keys, by position
  std::vector<uint32_t> order_;          // the closing object's positions in key order
  bool key_pending_ = false;             // an object's entry waits for its value

  static constexpr size_t kept_bytes = size_t{16} << 20;
  static thread_local std::vector<open_container> spare_open;
  static thread_local trv_json_entry_vector spare_pending;
};

thread_local std::vector<entry_builder::open_container> entry_builder::spare_open;
thread_local trv_json_entry_vector entry_builder::spare_pending;

// The handle of the entry the next value goes to: the keyed entry key() began, else a new
// keyless one. Empty until the value is made.
trvvar_shared& entry_builder::entry_value() {
  if (!key_pending_) pending_.push_back({nullptr, trvvar_shared()});
  key_pending_ = false;
  return pending_.back().value;
}

// The variable the next value goes to.
trvvar& entry_builder::slot() {
  if (open_.empty()) return *root_.add_keyless();
  trvvar_shared& value = entry_value();
  value = trvvar_new(owned_);
  return *value;
}

void entry_builder::open() {
  if (open_.empty()) {
    open_.push_back({&root_, pending_.size()});
    return;
  }
  trv_std_json* container = nullptr;
  entry_value() = trv_new_json_var(owned_, container);
  open_.push_back({container, pending_.size()});
}

trv_json_entry_vector entry_builder::close() {
  const auto first = pending_.begin() + static_cast<ptrdiff_t>(open_.back().first);
  trv_json_entry_vector taken(std::make_move_iterator(first),
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

// The members' positions in key order, stable; small objects are sorted without the buffer
// std::stable_sort allocates.
void sort_positions(const std::vector<std::string_view>& names, std::vector<uint32_t>& order) {
  order.resize(names.size());
  for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  const auto less = [&names](uint32_t a, uint32_t b) { return key_less(names[a], names[b]); };
  if (std::is_sorted(order.begin(), order.end(), less)) return;
  if (order.size() > 32) {
    std::stable_sort(order.begin(), order.end(), less);
    return;
  }
  for (size_t i = 1; i < order.size(); ++i) {
    const uint32_t moving = order[i];
    size_t j = i;
    for (; j > 0 && less(moving, order[j - 1]); --j) order[j] = order[j - 1];
    order[j] = moving;
  }
}

// The object's members move once, straight into their container in key order; of equal keys
// the last parsed wins.
bool entry_builder::end_object() {
  const size_t first = open_.back().first;
  names_.clear();
  for (size_t i = first; i < pending_.size(); ++i) names_.push_back(*pending_[i].key);
  sort_positions(names_, order_);
  trv_json_entry_vector members;
  members.reserve(order_.size());
  for (size_t i = 0; i < order_.size(); ++i) {
    if (i + 1 < order_.size() && names_[order_[i]] == names_[order_[i + 1]]) continue;
    members.push_back(std::move(pending_[first + order_[i]]));
  }
  pending_.erase(pending_.begin() + static_cast<ptrdiff_t>(first), pending_.end());
  open_.back().container->adopt_entries(std::move(members));
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
