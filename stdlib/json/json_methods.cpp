// The script methods of std.json. Each receives the container, the calling context and its
// arguments; methods that modify return the container itself (an object value) so calls
// chain, list results are new containers. The registration at the end reads like the method
// table: names, argument counts and documentation texts are the script-visible ones.

#include <algorithm>
#include <string>
#include <unordered_set>

#include "stdlib/json/json_iteration.h"
#include "stdlib/json/json_methods.h"
#include "stdlib/json/json_parse.h"
#include "stdlib/json/json_print.h"
#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "stdlib/string/string_args.h"
#include "values/compare.h"
#include "values/convert.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"
#include "vm/program_block.h"

namespace {

using args_t = std::vector<trvvar_shared>;

// ---- results ----

trvvar_shared this_result(trv_std_json* self) {
  return trvvar_new_object(trvptr_strong<trvobject_base>::from(self));
}

trvvar_shared flag(bool value) { return trvvar_new_int(value ? 1 : 0); }

// ---- argument helpers ----

bool holds(const trvvar_shared& arg) { return !trvvar_compare_zero(*arg); }

bool is_function(const trvvar_shared& arg) { return arg->type == TRVVAR_FUNCTION; }

// The substrings a filter argument stands for: a container's values, or the argument itself.
std::vector<std::string> substrings_of(const trvvar_shared& arg) {
  std::vector<std::string> parts;
  if (trv_std_json* list = trv_json_of(*arg)) {
    trv_json_visit_entries(list->entries, [&](const trv_json_entry& e) {
      parts.push_back(trvvar_string_value(*e.value));
      return true;
    });
  } else if (arg->type != TRVVAR_JSON) {
    parts.push_back(trvvar_string_value(*arg));
  }
  return parts;
}

bool contains_any(std::string_view text, const std::vector<std::string>& parts) {
  return std::any_of(parts.begin(), parts.end(),
                     [&](const std::string& p) { return text.find(p) != std::string_view::npos; });
}

std::string ascii_lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lowered;
}

// ---- adding and removing ----

trvvar_shared push(trv_std_json* self, trv_vm_context&, args_t& args) {
  self->add_value(args[0], {});
  return this_result(self);
}

trvvar_shared pop(trv_std_json* self, trv_vm_context&, args_t&) {
  if (self->size() > 0) self->erase_at(static_cast<int64_t>(self->size()) - 1);
  return this_result(self);
}

trvvar_shared insert(trv_std_json* self, trv_vm_context&, args_t& args) {
  const auto size = static_cast<int64_t>(self->size());
  int64_t index = trvvar_int_value(*args[0]);
  if (index < 0) index += size;
  index = std::clamp<int64_t>(index, 0, size);
  self->insert_keyless(static_cast<size_t>(index), args[1]);
  return this_result(self);
}

trvvar_shared size_method(trv_std_json* self, trv_vm_context&, args_t&) {
  return trvvar_new_int(static_cast<int64_t>(self->size()));
}

trvvar_shared clear_method(trv_std_json* self, trv_vm_context&, args_t&) {
  self->clear();
  return this_result(self);
}

trvvar_shared clear_free(trv_std_json* self, trv_vm_context&, args_t&) {
  self->clear_and_free();
  return this_result(self);
}

// Integers and floats erase by index; `by_container` also lets a json argument erase the
// entry holding that very container; anything else erases by key.
bool erase_by_argument(trv_std_json* self, trvvar& arg, bool by_container) {
  if (arg.type == TRVVAR_INT || arg.type == TRVVAR_FLOAT) {
    return self->erase_at(trvvar_int_value(arg));
  }
  if (by_container && arg.type == TRVVAR_JSON) {
    const trvobject_base* target = arg.payload.object.get();
    for (size_t i = 0; i < self->entries.size(); ++i) {
      const trvvar& v = *self->entries[i].value;
      if (v.type == TRVVAR_JSON && v.payload.object.get() == target) {
        return self->erase_at(static_cast<int64_t>(i));
      }
    }
    return false;
  }
  return self->erase_key(trvvar_string_value(arg));
}

trvvar_shared erase(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(erase_by_argument(self, *args[0], true));
}

trvvar_shared remove(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(erase_by_argument(self, *args[0], false));
}

// The position of the first entry whose value equals the argument, or -1. It walks as
// trv_json_visit_entries does, holding each value it compares, and counts positions.
int64_t find_value(trv_std_json* self, trvvar& arg) {
  for (size_t i = 0; i < self->entries.size(); ++i) {
    const trvvar_shared value = self->entries[i].value;
    if (trvvar_compare_equal(*value, arg)) return static_cast<int64_t>(i);
  }
  return -1;
}

trvvar_shared erase_value(trv_std_json* self, trv_vm_context&, args_t& args) {
  const int64_t found = find_value(self, *args[0]);
  return flag(found >= 0 && self->erase_at(found));
}

trvvar_shared remove_all_keys(trv_std_json* self, trv_vm_context&, args_t& args) {
  self->remove_key_everywhere(trvvar_string_value(*args[0]));
  return this_result(self);
}

trvvar_shared resize(trv_std_json* self, trv_vm_context&, args_t& args) {
  const int64_t n = trvvar_int_value(*args[0]);
  // Past 32 bits the size could only fill memory: a callback walk counts entries in 32 bits.
  if (n < 0 || n > int64_t{UINT32_MAX}) {
    trv_runtime_warning("size out of range!");
    return this_result(self);
  }
  while (static_cast<int64_t>(self->size()) > n) {
    self->erase_at(static_cast<int64_t>(self->size()) - 1);
  }
  // Memory that cannot be had fails here, at once, as a runtime error of the call.
  self->entries.reserve(static_cast<size_t>(n));
  while (static_cast<int64_t>(self->size()) < n) self->add_keyless();
  return this_result(self);
}

trvvar_shared push_cyclic(trv_std_json* self, trv_vm_context&, args_t& args) {
  const int64_t max = trvvar_int_value(*args[1]);
  if (max <= 0) {
    trv_runtime_warning("push_cyclic: max_entries must be greater than 0");
    return this_result(self);
  }
  // Releasing the entries taken out can run code that adds others.
  while (static_cast<int64_t>(self->size()) >= max) {
    self->erase_front(self->size() - static_cast<size_t>(max) + 1);
  }
  self->add_value(args[0], {});
  return this_result(self);
}

trvvar_shared to_list(trv_std_json* self, trv_vm_context&, args_t&) {
  self->drop_keys();
  return this_result(self);
}

// ---- lookups ----

trvvar_shared key(trv_std_json* self, trv_vm_context&, args_t& args) {
  int64_t index = trvvar_int_value(*args[0]);
  if (index < 0) index += static_cast<int64_t>(self->size());
  if (!self->has_index(index)) {
    trv_runtime_warning("index out of range!");
    return trvvar_new();
  }
  const trv_json_entry& e = self->entries[static_cast<size_t>(index)];
  return e.key ? trv_string_result(*e.key) : trvvar_new();
}

trvvar_shared has(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(self->has_key(trvvar_string_view(*args[0])));
}

trvvar_shared has_value(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(find_value(self, *args[0]) >= 0);
}

trvvar_shared has_value_str(trv_std_json* self, trv_vm_context&, args_t& args) {
  const std::string wanted = trvvar_string_value(*args[0]);
  return flag(!trv_json_visit_entries(self->entries, [&](const trv_json_entry& e) {
    return trvvar_string_value(*e.value) != wanted;
  }));
}

// The first entry whose key matches case-insensitively (ASCII), or null.
trv_json_entry* find_key_ignoring_case(trv_std_json* self, const trvvar& arg) {
  const std::string wanted = ascii_lower(trvvar_string_value(arg));
  for (trv_json_entry& e : self->entries) {
    if (e.key && !e.key->empty() && ascii_lower(*e.key) == wanted) return &e;
  }
  return nullptr;
}

trvvar_shared geti(trv_std_json* self, trv_vm_context&, args_t& args) {
  trv_json_entry* found = find_key_ignoring_case(self, *args[0]);
  return found != nullptr ? found->value : trvvar_new();
}

trvvar_shared hasi(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(find_key_ignoring_case(self, *args[0]) != nullptr);
}

// ---- copying and text ----

trvvar_shared copy(trv_std_json* self, trv_vm_context&, args_t&) {
  return trv_std_json::deep_copy(*self);
}

bool compact_argument(const args_t& args) {
  return args.size() == 1 && trvvar_int_value(*args[0]) != 0;
}

trvvar_shared string(trv_std_json* self, trv_vm_context&, args_t& args) {
  return trv_string_result(trv_json_to_text(*self, compact_argument(args)));
}

trvvar_shared compact_string(trv_std_json* self, trv_vm_context&, args_t&) {
  return trv_string_result(trv_json_to_text(*self, true));
}

trvvar_shared debug_refs(trv_std_json* self, trv_vm_context&, args_t& args) {
  return trv_string_result(trv_json_debug_text(*self, compact_argument(args)));
}

trvvar_shared combine_string(trv_std_json* self, trv_vm_context&, args_t& args) {
  const std::string separator = args.empty() ? std::string() : trvvar_string_value(*args[0]);
  std::string combined;
  trv_json_visit_entries(self->entries, [&](const trv_json_entry& e) {
    combined += trvvar_string_value(*e.value);
    if (!args.empty()) combined += separator;
    return true;
  });
  return trv_string_result(combined);
}

trvvar_shared from_string(trv_std_json* self, trv_vm_context&, args_t& args) {
  return flag(trv_json_from_string(*self, trvvar_string_value(*args[0]), false));
}

// ---- sorting ----

// Moves keyless entries behind the keyed ones: a keyless entry found from the front swaps
// with the last keyed entry found from the back. Returns the number of keyed entries.
size_t partition_keyed(trv_json_entry_vector& entries) {
  size_t front = 0;
  size_t back = entries.size();
  while (true) {
    while (front < back && entries[front].key) ++front;
    while (front < back && !entries[back - 1].key) --back;
    if (front >= back) return front;
    std::swap(entries[front], entries[back - 1]);
  }
}

trvvar_shared sort(trv_std_json* self, trv_vm_context&, args_t&) {
  auto& entries = self->reorder();
  const size_t keyed = partition_keyed(entries);
  std::sort(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(keyed),
            [](const trv_json_entry& a, const trv_json_entry& b) {
              return ascii_lower(*a.key) < ascii_lower(*b.key);
            });
  return this_result(self);
}

trvvar_shared sort_reverse(trv_std_json* self, trv_vm_context&, args_t&) {
  auto& entries = self->reorder();
  const size_t keyed = partition_keyed(entries);
  std::sort(entries.begin(), entries.begin() + static_cast<ptrdiff_t>(keyed),
            [](const trv_json_entry& a, const trv_json_entry& b) { return *a.key > *b.key; });
  return this_result(self);
}

// The value of the first entry keyed `name` in a container value; none otherwise.
trvvar_shared child_of(const trvvar& value, std::string_view name) {
  if (const trv_std_json* nested = trv_json_of(value)) {
    for (const trv_json_entry& e : nested->entries) {
      if (e.key && *e.key == name) return e.value;
    }
  }
  return trvvar_new();
}

bool is_number(const trvvar& v) { return v.type == TRVVAR_INT || v.type == TRVVAR_FLOAT; }

// A child's place in the order, read before any entry moves: reading a member can add an
// entry to the very container being sorted.
struct sort_rank {
  trv_json_entry entry;
  trvvar_shared child;
  std::string text;  // of a child that is no number (a number converts without side effects)
};

std::string rank_text(const sort_rank& r) {
  return is_number(*r.child) ? trvvar_string_value(*r.child) : r.text;
}

// Whether child a sorts before child b: present children first in either direction, then
// numbers numerically, anything else by text.
bool child_before(const sort_rank& a, const sort_rank& b, bool descending) {
  const bool a_none = a.child->type == TRVVAR_NONE;
  const bool b_none = b.child->type == TRVVAR_NONE;
  if (a_none != b_none) return b_none;
  if (is_number(*a.child) && is_number(*b.child)) {
    const double x = trvvar_float_value(*a.child);
    const double y = trvvar_float_value(*b.child);
    return descending ? x > y : x < y;
  }
  const std::string x = rank_text(a);
  const std::string y = rank_text(b);
  return descending ? x > y : x < y;
}

trvvar_shared sort_by(trv_std_json* self, trv_vm_context&, args_t& args) {
  const std::string name = trvvar_string_value(*args[0]);
  const bool descending = args.size() > 1 && holds(args[1]);
  auto& entries = self->reorder();
  const size_t keyed = partition_keyed(entries);
  std::vector<sort_rank> ranks(keyed);
  for (size_t i = 0; i < keyed; ++i) {
    sort_rank& rank = ranks[i];
    rank.child = child_of(*entries[i].value, name);
    if (!is_number(*rank.child)) rank.text = trvvar_string_value(*rank.child);
  }
  for (size_t i = 0; i < keyed; ++i) ranks[i].entry = std::move(entries[i]);
  std::stable_sort(ranks.begin(), ranks.end(), [&](const sort_rank& a, const sort_rank& b) {
    return child_before(a, b, descending);
  });
  for (size_t i = 0; i < keyed; ++i) entries[i] = std::move(ranks[i].entry);
  return this_result(self);
}

// ---- filtering ----

trvvar_shared filter_key(trv_std_json* self, trv_vm_context&, args_t& args) {
  const std::vector<std::string> parts = substrings_of(args[0]);
  trv_std_json* result = nullptr;
  trvvar_shared result_var = trv_new_json_var(&result);
  for (const trv_json_entry& e : self->entries) {
    if (e.key && contains_any(*e.key, parts)) result->add_value(e.value, *e.key);
  }
  return result_var;
}

trvvar_shared filter_value(trv_std_json* self, trv_vm_context&, args_t& args) {
  trv_std_json* result = nullptr;
  trvvar_shared result_var = trv_new_json_var(&result);
  const bool list = args[0]->type == TRVVAR_JSON;
  const std::vector<std::string> parts = substrings_of(args[0]);
  trv_json_visit_entries(self->entries, [&](const trv_json_entry& e) {
    if ((list || e.value->type == TRVVAR_STRING) &&
        contains_any(trvvar_string_view(*e.value), parts)) {
      result->add_value(e.value, e.key ? std::string_view(*e.key) : std::string_view());
    }
    return true;
  });
  return result_var;
}

// ---- script callbacks ----

// Runs `callback` over the container's entries with the key and value of each; `on_result`
// consumes each value.
void iterate(trv_std_json* self, trv_vm_context& context, trvvar_shared& callback,
             trv_json_iteration::on_result_fn on_result,
             std::function<void()> on_finish = nullptr) {
  auto it = std::make_shared<trv_json_iteration>();
  it->build_arguments = trv_json_key_value_arguments;
  it->on_result = std::move(on_result);
  it->on_finish = std::move(on_finish);
  trv_json_iteration::start(it, *self, context, callback);
}

std::string_view key_of(const trv_json_entry& entry) {
  return entry.key ? *entry.key : std::string_view();
}

trvvar_shared filter(trv_std_json* self, trv_vm_context& context, args_t& args) {
  if (!is_function(args[0])) return filter_key(self, context, args);
  trv_std_json* kept = nullptr;
  trvvar_shared result = trv_new_json_var(&kept);
  // Room for every entry, so that keeping them moves none; what a filter that kept fewer
  // than half did not use is given back at the end.
  kept->entries.reserve(self->entries.size());
  const trvptr_strong<trv_std_json> held = trvptr_strong<trv_std_json>::from(kept);
  iterate(
      self, context, args[0],
      [held](const trv_json_entry& called, trvvar_shared& r, trv_runtime* owned) {
        if (holds(r)) held->add_value(called.value, key_of(called), owned);
        return true;
      },
      [held] {
        if (held->entries.size() < held->entries.capacity() / 2) held->entries.shrink_to_fit();
      });
  return result;
}

trvvar_shared map(trv_std_json* self, trv_vm_context& context, args_t& args) {
  trv_std_json* mapped = nullptr;
  trvvar_shared result = trv_new_json_var(&mapped);
  if (!is_function(args[0])) {
    trv_runtime_warning("map expects a function");
    return result;
  }
  mapped->entries.reserve(self->entries.size());  // one entry per entry
  iterate(self, context, args[0],
          [mapped = trvptr_strong<trv_std_json>::from(mapped)](
              const trv_json_entry& called, trvvar_shared& r, trv_runtime* owned) {
            mapped->add_value(r, key_of(called), owned);
            return true;
          });
  return result;
}

trvvar_shared reduce(trv_std_json* self, trv_vm_context& context, args_t& args) {
  trvvar_shared result = trvvar_new();
  if (!is_function(args[0])) {
    trv_runtime_warning("reduce expects a callback");
    return result;
  }
  auto accumulator = std::make_shared<trvvar_shared>(trvvar_new());
  if (args.size() > 1) {
    trvvar_set(**accumulator, args[1]);
  } else {
    trvvar_set_int(**accumulator, 0);
  }
  auto it = std::make_shared<trv_json_iteration>();
  it->build_arguments = [accumulator](trv_json_iteration& walk, uint32_t index, args_t& call_args,
                                      trv_runtime* owned) {
    call_args.push_back(*accumulator);
    trv_json_key_value_arguments(walk, index, call_args, owned);
  };
  it->on_result = [accumulator](const trv_json_entry&, trvvar_shared& r, trv_runtime*) {
    *accumulator = r;
    return true;
  };
  it->on_finish = [accumulator, result] { trvvar_set(*result, *accumulator); };
  trv_json_iteration::start(it, *self, context, args[0]);
  return result;
}

// The test "any" and "all" apply for a text argument: the entry's key contains it (a keyless
// entry never passes).
auto key_containing(std::string_view part) {
  return [part](const trv_json_entry& e) { return e.key && e.key->find(part) != part.npos; };
}

// "any" (`stop_at` true) stops at the first entry that passes, "all" (`stop_at` false) at the
// first that fails; the result is then `stop_at`, and otherwise its opposite.
trvvar_shared quantify(trv_std_json* self, trv_vm_context& context, args_t& args, bool stop_at,
                       const char* warning) {
  if (args[0]->type == TRVVAR_STRING) {
    const auto& entries = self->entries;
    const auto passes = key_containing(trvvar_string_view(*args[0]));
    return flag(stop_at ? std::any_of(entries.begin(), entries.end(), passes)
                        : std::all_of(entries.begin(), entries.end(), passes));
  }
  if (!is_function(args[0])) {
    trv_runtime_warning(warning);
    return flag(false);
  }
  trvvar_shared result = flag(!stop_at);
  iterate(self, context, args[0],
          [result, stop_at](const trv_json_entry&, trvvar_shared& r, trv_runtime*) {
            if (holds(r) != stop_at) return true;
            trvvar_set_int(*result, stop_at ? 1 : 0);
            return false;
          });
  return result;
}

trvvar_shared any(trv_std_json* self, trv_vm_context& context, args_t& args) {
  return quantify(self, context, args, true, "any expects string or function");
}

trvvar_shared all(trv_std_json* self, trv_vm_context& context, args_t& args) {
  return quantify(self, context, args, false, "all expects string or function");
}

// Every entry that exists when its turn comes, entries added on the way included; a callback
// declaring exactly two parameters gets key and value, any other the value alone.
trvvar_shared foreach (trv_std_json* self, trv_vm_context & context, args_t & args) {
  if (!is_function(args[0])) {
    return trv_runtime_error("foreach requires a callback function argument.");
  }
  const trvptr_strong<trv_program_block> definition =
      args[0]->payload.function_payload->definition.lock();
  const bool key_and_value = definition && definition->parameter_count == 2;
  auto it = std::make_shared<trv_json_iteration>();
  it->build_arguments = [key_and_value](trv_json_iteration& walk, uint32_t index, args_t& call_args,
                                        trv_runtime* owned) {
    if (key_and_value) {
      trv_json_key_value_arguments(walk, index, call_args, owned);
    } else {
      call_args.push_back(walk.json->entries[index].value);
    }
  };
  it->on_result = [](const trv_json_entry&, trvvar_shared&, trv_runtime*) { return true; };
  trv_json_iteration::start(it, *self, context, args[0]);
  return this_result(self);
}

// ---- merging and de-duplication ----

// The other container's entries, in order: keyed ones replace or join this container's
// (unless `overwrite` is off and the key exists), keyless ones are appended when
// `keep_keyless`. Positions are re-read each step, among the entries there were at the start
// and are still there: the other container may be this one, and the release of a replaced
// value may run code that changes it.
void merge_entries(trv_std_json* self, trv_std_json& other, bool overwrite, bool keep_keyless) {
  const size_t count = other.entries.size();
  for (size_t i = 0; i < count && i < other.entries.size(); ++i) {
    trvvar_shared value = other.entries[i].value;
    if (!other.entries[i].key) {
      if (keep_keyless) self->add_value(value, {});
      continue;
    }
    const std::string key(*other.entries[i].key);
    if (!overwrite && self->has_key(key)) continue;
    trvvar_shared slot = self->find_or_add(key);
    trvvar_set(*slot, value);
  }
}

bool overwrite_argument(const args_t& args) { return args.size() < 2 || holds(args[1]); }

trvvar_shared merge(trv_std_json* self, trv_vm_context&, args_t& args) {
  if (trv_std_json* other = trv_json_of(*args[0])) {
    trvptr_strong<trvobject_base> hold = args[0]->payload.object;
    merge_entries(self, *other, overwrite_argument(args), false);
  }
  return this_result(self);
}

trvvar_shared append_method(trv_std_json* self, trv_vm_context&, args_t& args) {
  const trvvar& arg = *args[0];
  if (arg.type == TRVVAR_NONE) return this_result(self);
  if (arg.type != TRVVAR_JSON) {
    self->add_value(args[0], {});
  } else if (trv_std_json* other = trv_json_of(arg)) {
    trvptr_strong<trvobject_base> hold = arg.payload.object;
    merge_entries(self, *other, overwrite_argument(args), true);
  }
  return this_result(self);
}

// A list entry's identity: its type number and text ("0:" without a variable), so the
// integer 5 and the string "5" differ.
std::string value_signature(const trvvar_shared& value) {
  if (!value) return "0:";
  trvvar_shared v = trvvar_deref(value.get());
  if (!v) return "0:";
  return std::to_string(static_cast<int>(v->type)) + ":" + trvvar_string_value(*v);
}

trvvar_shared unique(trv_std_json* self, trv_vm_context&, args_t&) {
  auto& entries = self->entries;
  if (entries.size() < 2) return this_result(self);
  const bool list = std::none_of(entries.begin(), entries.end(),
                                 [](const auto& e) { return e.key && !e.key->empty(); });
  std::unordered_set<std::string> seen_keys;
  std::unordered_set<std::string> seen_values;
  std::vector<bool> keep;
  trv_json_visit_entries(entries, [&](const trv_json_entry& e) {
    if (!list && e.key && !e.key->empty()) {
      keep.push_back(seen_keys.emplace(*e.key).second);
    } else {
      keep.push_back(seen_values.insert(value_signature(e.value)).second);
    }
    return true;
  });
  keep.resize(entries.size(), true);  // the walk's length, whatever reading values changed
  self->keep_entries(keep);
  return this_result(self);
}

// ---- the class and its constructor ----

trvvar_shared construct(trv_vm_context&, args_t& args) {
  trv_std_json* container = nullptr;
  trvvar_shared result = trv_new_json_var(&container);
  if (args.empty()) return result;
  if (args[0]->type == TRVVAR_JSON) {
    if (const trv_std_json* other = trv_json_of(*args[0])) container->assign_entries(*other);
    return result;
  }
  const bool suppress = args.size() > 1 && trvvar_get_bool(*args[1]);
  trv_json_from_string(*container, trvvar_string_value(*args[0]), suppress);
  return result;
}

using method = trvvar_shared (*)(trv_std_json*, trv_vm_context&, args_t&);

void add(std::string_view name, method callback, uint32_t min, uint32_t max, std::string_view doc,
         std::string_view parameter_doc = {}) {
  trv_std_json::add_function(name, callback, min, max, doc);
  if (!parameter_doc.empty()) trv_std_json::add_parameter_docs({parameter_doc});
}

}  // namespace

void trv_std_json::script_register() {
  if (registered) return;
  registered = true;
  constexpr std::string_view push_doc =
      "Adds the supplied value to the given JSON container and returns the modified object";
  constexpr std::string_view push_param = "value: object - Value to insert into the JSON container";
  constexpr std::string_view pop_doc =
      "Removes the last element from the JSON container and returns it.";
  constexpr std::string_view size_doc =
      "Returns the number of elements in a JSON array or the number of keys in a JSON object.";
  constexpr std::string_view erase_doc =
      "Removes a key or index from a JSON object and returns whether the removal succeeded.";
  constexpr std::string_view erase_param =
      "key: string - Key or numeric index to delete from the JSON object";
  constexpr std::string_view erase_value_doc =
      "Removes a value from a JSON object and returns whether the removal succeeded.";
  constexpr std::string_view erase_value_param =
      "key: string - Value to delete from the JSON object";
  constexpr std::string_view rsort_doc =
      "Sorts a JSON object\xE2\x80\x99s entries by key in descending order, keeping keyless "
      "entries at the end";
  constexpr std::string_view merge_param =
      "other: json - Object to merge\noverwrite: bool - Replace existing keys (default true)";

  add("push", push, 1, 1, push_doc, push_param);
  add("push_back", push, 1, 1, push_doc, push_param);
  add("pop", pop, 0, 0, pop_doc);
  add("pop_back", pop, 0, 0, pop_doc);
  add("insert", insert, 2, 2,
      "Inserts a value at the specified index in the JSON container, shifting existing "
      "elements. Negative indices count from the end.",
      "index: int - Zero-based index at which to insert; negative values count from the end\n"
      "value: object - Value to insert");
  add("size", size_method, 0, 0, size_doc);
  add("clear", clear_method, 0, 0, size_doc);
  add("clear_free", clear_free, 0, 0, "Clears the JSON container and frees all objects inside it.");
  add("key", key, 1, 1, "Return the key at a specified index from a JSON object",
      "index: int - Zero-based index of the key; negative values count from the end");
  add("has", has, 1, 1, "Checks if the JSON object contains a given key.",
      "key: string - Key to check in the JSON object");
  add("has_value", has_value, 1, 1, "Checks if the JSON object contains a given value.",
      "key: string - Value to check in the JSON object");
  add("has_value_str", has_value_str, 1, 1,
      "Checks if the JSON object contains a given value (as string).",
      "value: string - Value to check in the JSON object");
  add("geti", geti, 1, 1, "Get a member value by key (case-insensitive)",
      "key: string - Key to look up (case-insensitive)");
  add("hasi", hasi, 1, 1, "Check if JSON object contains a key (case-insensitive)",
      "key: string - Key to check (case-insensitive)");
  add("erase", erase, 1, 1, erase_doc, erase_param);
  add("remove", remove, 1, 1, erase_doc, erase_param);
  add("erase_value", erase_value, 1, 1, erase_value_doc, erase_value_param);
  add("remove_value", erase_value, 1, 1, erase_value_doc, erase_value_param);
  add("remove_all_keys", remove_all_keys, 1, 1,
      "Removes a key from the JSON object and all nested JSON objects recursively.",
      "key: string - Key to remove from all levels");
  add("copy", copy, 0, 0,
      "Creates a deep copy of the JSON object. If the JSON references itself, the copy contains "
      "the same self-reference instead of failing.");
  add("sort", sort, 0, 0,
      "Sorts JSON entries by their keys in a case-insensitive manner, keeping only keyed entries "
      "in the sorted portion.");
  add("sort_reverse", sort_reverse, 0, 0, rsort_doc);
  add("rsort", sort_reverse, 0, 0, rsort_doc);
  add("sort_by", sort_by, 1, 2, "Sorts JSON entries by a child key in each value object.",
      "key: string - Child key to sort by\ndescending: bool - Sort descending (default false)");
  add("string", string, 0, 1,
      "Convert JSON object to its string representation, optionally using compact output.",
      "compact: int - flag to produce compact string (0) or pretty-printed (non\xE2\x80\x91zero)");
  add("compact_string", compact_string, 0, 0,
      "Convert JSON object to its compact string representation.");
  add("combine_string", combine_string, 0, 1,
      "Combine string values of the JSON object with an optional separator",
      "separator: string - Separator appended after each string value during concatenation");
  add("from_string", from_string, 1, 1, "Parse JSON from string and populate object",
      "json: string - JSON string to parse into the object");
  add("filter_key", filter_key, 1, 1,
      "Filter JSON object's keys by matching substrings and return the filtered JSON.",
      "filter: string - Substring or list of substrings used to match keys.");
  add("filter_value", filter_value, 1, 1,
      "Return a new JSON object containing only string members whose values include a specific "
      "substring",
      "filter: string - Substring to search for within JSON string values");
  add("filter", filter, 1, 1, "Filter JSON object entries by callback or key substring",
      "filter: function|string - Callback that receives a key and value and returns true to keep "
      "the entry; if a string, only entries whose keys contain the string are included");
  add("merge", merge, 1, 2,
      "Merge another JSON object into this one. If overwrite is true, existing keys will be "
      "replaced.",
      merge_param);
  add("append", append_method, 1, 2,
      "Appends another JSON object into this one. If overwrite is true, existing keys will be "
      "replaced.",
      merge_param);
  add("map", map, 1, 1,
      "Return a new JSON where each value is replaced by the result of the callback.",
      "callback: function - Called with (key, value); return becomes new value");
  add("reduce", reduce, 1, 2,
      "Reduce object entries into a single value by repeatedly applying callback(acc, key, "
      "value).",
      "callback: function\ninitial: any - Starting accumulator value");
  add("any", any, 1, 1, "Returns true if any entry matches substring or callback.",
      "filter: function|string");
  add("all", all, 1, 1, "Returns true if all entries match substring or callback.",
      "filter: function|string");
  add("foreach", foreach, 1, 1,
      "Iterates over each key/value pair in a JSON object and runs a callback for each entry",
      "callback: function - Callback function invoked with the entry key and value and should "
      "return bool (true to include the entry in a new JSON)");
  add("to_list", to_list, 0, 0,
      "Converts the JSON object into a list by removing all keys from each entry.");
  add("resize", resize, 1, 1, "Resizes a JSON list to the specified size.",
      "size: int - New size of the list");
  add("unique", unique, 0, 0,
      "Removes duplicate entries. For lists, duplicates are detected by value. For objects, "
      "duplicate keys are removed, keeping the first occurrence.");
  add("push_cyclic", push_cyclic, 2, 2,
      "Adds a value to the back of the JSON list, removing elements from the front if the size "
      "would exceed max_entries.",
      "value: object - Value to insert\nmax_entries: int - Maximum number of elements the list "
      "may hold");
  add("debug_refs", debug_refs, 0, 1,
      "Convert JSON object to a debug string showing whether each element is a TRVVAR_REF and "
      "the variable refcount.",
      "compact: int - flag to produce compact string (0) or pretty-printed (non-zero)");
  script_register_internal();
}

void populate_std_json_namespace(trv_namespace& ns) {
  trv_std_json::add_class_constructor(
      ns, construct, 0, 0, "Create a new JSON object, optionally initialized from a JSON string");
}
