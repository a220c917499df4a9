#include "stdlib/json/std_json.h"

#include <algorithm>
#include <cassert>
#include <unordered_set>
#include <utility>

#include "glue/log.h"
#include "glue/platform/prefetch.h"
#include "glue/thread_local.h"
#include "stdlib/json/path_guard.h"
#include "stdlib/string/std_string.h"
#include "values/payload_objects.h"
#include "values/report.h"
#include "values/runtime.h"

trv_std_json* trv_json_of(const trvvar& v) {
  if (v.type != TRVVAR_JSON) return nullptr;
  return trv_object_cast<trv_std_json>(v.payload.object.get());
}

trvvar_shared trv_new_json_var(trv_std_json** container) {
  trvvar_shared v = trvvar_new();
  trvvar_set_type(*v, TRVVAR_JSON);
  if (container != nullptr) *container = trv_json_of(*v);
  return v;
}

trvvar_shared trv_new_json_var(trv_runtime* owned, trv_std_json*& container) {
  trvptr_strong<trv_std_json> object = trv_pooled_new_shared<trv_std_json>(owned);
  if (!object) throw std::bad_alloc();
  container = object.get();
  return trvvar_new_carrying(TRVVAR_JSON, std::move(object), owned);
}

// ---- key index ----

trv_json_key_index& trv_std_json::make_index() {
  if (!index_) {
    index_ = std::make_unique<trv_json_key_index>();
    index_->max_load_factor(1.0f);
  }
  return *index_;
}

trv_json_key_index* trv_std_json::index() {
  for (; indexed_ < entries.size(); ++indexed_) {
    const trv_json_entry& e = entries[indexed_];
    if (e.key) index_key(*e.key, e.value.get());
  }
  return index_.get();
}

trv_json_entry_vector& trv_std_json::reorder() {
  index();
  return entries;
}

// An added entry becomes its key's representative.
void trv_std_json::index_key(std::string_view key, trvvar* variable) {
  trv_json_key_index& keys = make_index();
  auto node = keys.find(key);
  if (node == keys.end()) {
    keys.emplace(std::string(key), trv_json_key_node{variable, 1});
    return;
  }
  node->second.variable = variable;
  ++node->second.count;
}

// Takes the entry at `position` out of the index; the first other entry with the key takes
// over as representative.
void trv_std_json::unindex_entry(size_t position) {
  const trv_json_entry& gone = entries[position];
  trv_json_key_index* keys = index();
  if (!gone.key || keys == nullptr) return;
  auto node = keys->find(*gone.key);
  if (node == keys->end()) return;
  if (--node->second.count == 0) {
    keys->erase(node);
    return;
  }
  if (node->second.variable != gone.value.get()) return;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i != position && entries[i].key && *entries[i].key == *gone.key) {
      node->second.variable = entries[i].value.get();
      return;
    }
  }
}

// A fresh index from the entries; the first of equal keys represents them.
void trv_std_json::rebuild_index() {
  index_.reset();
  indexed_ = entries.size();
  try {
    for (trv_json_entry& e : entries) {
      if (!e.key) continue;
      trv_json_key_index& keys = make_index();
      auto node = keys.find(*e.key);
      if (node == keys.end()) {
        keys.emplace(std::string(*e.key), trv_json_key_node{e.value.get(), 1});
      } else {
        ++node->second.count;
      }
    }
  } catch (...) {
    // Memory ran out: no index, and the entries are indexed afresh when next looked up.
    index_.reset();
    indexed_ = 0;
    throw;
  }
}

void trv_std_json::assert_invariant() const {
#ifndef NDEBUG
  // Full checks cost linear time per edit: only for containers of modest size.
  if (entries.size() > 4096) return;
  assert(indexed_ <= entries.size());
  size_t keyed = 0;
  for (size_t i = 0; i < indexed_; ++i) {
    const trv_json_entry& e = entries[i];
    assert(e.value);
    if (!e.key) continue;
    ++keyed;
    assert(index_ && index_->contains(*e.key));
  }
  if (!index_) return;
  size_t counted = 0;
  for (const auto& [key, node] : *index_) {
    uint32_t count = 0;
    bool represented = false;
    for (size_t i = 0; i < indexed_; ++i) {
      const trv_json_entry& e = entries[i];
      if (!e.key || *e.key != key) continue;
      ++count;
      represented = represented || e.value.get() == node.variable;
    }
    assert(count == node.count && represented);
    counted += count;
  }
  assert(counted == keyed);
#endif
}

// ---- lookups ----

bool trv_std_json::has_key(std::string_view key) { return find(key) != nullptr; }

trvvar* trv_std_json::find(std::string_view key) {
  trv_json_key_index* keys = index();
  if (keys == nullptr) return nullptr;
  auto node = keys->find(key);
  return node == keys->end() ? nullptr : node->second.variable;
}

trvvar_shared trv_std_json::find_or_add(std::string_view key) {
  if (trvvar* found = find(key)) return trvvar_shared::share(found);
  // Member access indexes even the empty key; find brought the index up to date.
  entries.push_back({trv_json_key(key), trvvar_new()});
  index_key(*entries.back().key, entries.back().value.get());
  indexed_ = entries.size();
  assert_invariant();
  return entries.back().value;
}

trvvar_shared trv_std_json::value_at(int64_t index) {
  if (index < 0) index += static_cast<int64_t>(entries.size());
  if (!has_index(index)) return trv_runtime_error("Out of bounds access.");
  return entries[static_cast<size_t>(index)].value;
}

// ---- adding ----

trvvar_shared trv_std_json::append(std::string_view key, trv_runtime* owned) {
  place(key, trvvar_new(owned));
  return entries.back().value;
}

void trv_std_json::place(std::string_view key, trvvar_shared&& value) {
  // The entry is made whole before it goes in: memory running out while making it leaves the
  // container as it was, not holding an entry without a value or without its key.
  trv_json_entry made{key.empty() ? trv_json_key() : trv_json_key(key), std::move(value)};
  entries.emplace_back(std::move(made));
  assert_invariant();
}

namespace {

trv_runtime* calling_thread_runtime() { return trv_owned_runtime(trv_get_thread_local()); }

}  // namespace

trvvar_shared trv_std_json::add_keyless() { return append({}, calling_thread_runtime()); }

trvvar_shared trv_std_json::add_keyed(std::string_view key) {
  return append(key, calling_thread_runtime());
}

void trv_std_json::add_value(trvvar_shared value, std::string_view key) {
  add_value(std::move(value), key, calling_thread_runtime());
}

void trv_std_json::add_value(trvvar_shared value, std::string_view key, trv_runtime* owned) {
  trvvar_shared slot = trvvar_new(owned);
  trvvar_set(*slot, value);
  place(key, std::move(slot));
}

void trv_std_json::insert_keyless(size_t position, trvvar_shared value) {
  assert(position <= entries.size());
  trvvar_shared slot = trvvar_new();
  trvvar_set(*slot, value);
  index();  // positions shift
  entries.insert(entries.begin() + static_cast<ptrdiff_t>(position), {nullptr, std::move(slot)});
  indexed_ = entries.size();
  assert_invariant();
}

// ---- removing ----

bool trv_std_json::erase_at(int64_t index) {
  if (index < 0) index += static_cast<int64_t>(entries.size());
  if (!has_index(index)) return false;
  const size_t position = static_cast<size_t>(index);
  unindex_entry(position);
  // The entry leaves the container before its value is released: releasing can reach this
  // container again.
  trv_json_entry gone = std::move(entries[position]);
  entries.erase(entries.begin() + index);
  indexed_ = entries.size();
  assert_invariant();
  return true;
}

void trv_std_json::erase_front(size_t count) {
  count = std::min(count, entries.size());
  if (count == 0) return;
  // A key whose representative goes is marked by a null variable; the first entry still
  // bearing it takes over once the entries have moved.
  bool orphaned = false;
  if (trv_json_key_index* keys = index()) {
    for (size_t i = 0; i < count; ++i) {
      const trv_json_entry& e = entries[i];
      if (!e.key) continue;
      auto node = keys->find(*e.key);
      if (node == keys->end()) continue;
      if (--node->second.count == 0) {
        keys->erase(node);
      } else if (node->second.variable == e.value.get()) {
        node->second.variable = nullptr;
        orphaned = true;
      }
    }
  }
  // The values are released when `gone` goes, with the container already consistent.
  const auto end = entries.begin() + static_cast<ptrdiff_t>(count);
  trv_json_entry_vector gone(std::make_move_iterator(entries.begin()),
                             std::make_move_iterator(end));
  entries.erase(entries.begin(), end);
  indexed_ = entries.size();
  if (orphaned) {
    for (const trv_json_entry& e : entries) {
      if (!e.key) continue;
      trv_json_key_node& node = index_->find(*e.key)->second;
      if (node.variable == nullptr) node.variable = e.value.get();
    }
  }
  assert_invariant();
}

bool trv_std_json::erase_key(std::string_view key) {
  trv_json_key_index* keys = index();
  if (keys == nullptr) return false;
  auto node = keys->find(key);
  if (node == keys->end()) {
    trv_log(TRV_LOG_DEBUG, "Key ", key, " does not exist!");
    return false;
  }
  // The entries bearing the key are found from the back, where keys added last are, and the
  // entries before the first of them stay where they are: erasing the newest keys one after
  // another costs no walk over the older ones.
  uint32_t bearing = node->second.count;
  keys->erase(node);
  size_t first = entries.size();
  for (size_t i = entries.size(); i-- > 0 && bearing > 0;) {
    if (entries[i].key && *entries[i].key == key) {
      first = i;
      --bearing;
    }
  }
  trv_json_entry_vector gone;
  const auto kept = std::remove_if(entries.begin() + static_cast<ptrdiff_t>(first), entries.end(),
                                   [&](trv_json_entry& e) {
                                     if (!e.key || *e.key != key) return false;
                                     gone.push_back(std::move(e));
                                     return true;
                                   });
  entries.erase(kept, entries.end());
  indexed_ = entries.size();
  assert_invariant();
  return !gone.empty();
}

namespace {

// Most values of a released container are numbers and strings that only it holds: those go
// straight back to their pools, fetched ahead, the others when `gone` is destroyed.
void release_unshared_values(trv_json_entry_vector& gone) {
  if (gone.empty()) return;
  trv_runtime* owned = trv_owned_runtime(trv_get_thread_local());
  if (owned == nullptr) return;
  const size_t n = gone.size();
  for (size_t i = 0; i < n; ++i) {
    if (i + 16 < n) trv_prefetch(gone[i + 16].value.get());
    if (i + 10 < n) {
      if (const trvvar* v = gone[i + 10].value.get(); v != nullptr && v->type == TRVVAR_STRING) {
        trv_prefetch(v->payload.object.control_block());
      }
    }
    if (i + 4 < n) {
      if (const trvvar* v = gone[i + 4].value.get(); v != nullptr && v->type == TRVVAR_STRING) {
        const char* object =
            reinterpret_cast<const char*>(v->payload.object.control_block()->object);
        trv_prefetch(object);
        trv_prefetch(object + 64);
        trv_prefetch(object + sizeof(trv_std_string) - 1);
      }
    }
    trvvar_shared& value = gone[i].value;
    if (!trvvar_release_unshared_plain(value, *owned)) trv_release_unshared_string(value, *owned);
  }
}

}  // namespace

void trv_std_json::clear() {
  trv_json_entry_vector gone = std::move(entries);
  entries.clear();
  index_.reset();
  indexed_ = 0;
  release_unshared_values(gone);
}

void trv_std_json::keep_entries(const std::vector<bool>& keep) {
  assert(keep.size() == entries.size());
  // Room for both sides first: memory running out once entries have moved would leave
  // entries without values behind.
  const auto kept_count = static_cast<size_t>(std::count(keep.begin(), keep.end(), true));
  trv_json_entry_vector kept;
  trv_json_entry_vector gone;
  kept.reserve(kept_count);
  gone.reserve(entries.size() - kept_count);
  for (size_t i = 0; i < entries.size(); ++i) {
    (keep[i] ? kept : gone).push_back(std::move(entries[i]));
  }
  entries = std::move(kept);
  rebuild_index();
  assert_invariant();
}

void trv_std_json::drop_keys() {
  index_.reset();
  indexed_ = entries.size();
  for (trv_json_entry& e : entries) e.key.reset();
}

void trv_std_json::assign_entries(const trv_std_json& other) {
  if (&other == this) {
    rebuild_index();
    return;
  }
  trv_json_entry_vector copied;
  copied.reserve(other.entries.size());
  for (const trv_json_entry& e : other.entries) {
    trvvar_shared value = trvvar_new();
    trvvar_shared source = e.value;
    trvvar_set(*value, source);
    copied.push_back({e.key, std::move(value)});
  }
  clear();
  entries = std::move(copied);
  rebuild_index();
  assert_invariant();
}

void trv_std_json::adopt_entries(trv_json_entry_vector&& parsed) {
  // Entries added since the container was emptied (by code a release ran) go once the new
  // ones are in place: releasing them can reach this container again.
  trv_json_entry_vector replaced = std::move(entries);
  entries = std::move(parsed);
  index_.reset();
  indexed_ = 0;
  assert_invariant();
}

void trv_std_json::clear_and_free() {
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  if (guard.enter(this) != trv_json_path_guard::entry::entered) return;
  // Taken out first: emptying a nested container releases values, which can run code that
  // changes this one. They are released after the guard is left, as that can reach other
  // containers.
  trv_json_entry_vector dropped = std::move(entries);
  clear();
  for (trv_json_entry& e : dropped) {
    if (trv_std_json* nested = trv_json_of(*e.value)) {
      nested->clear_and_free();
    } else {
      e.value->flags |= TRVVAR_FLAG_TEARDOWN;
    }
  }
  guard.leave();
}

namespace {

// The containers one removal walk has been in, each held so that its address cannot come back
// as another container's while the walk goes on.
struct visited_containers {
  std::unordered_set<const trv_std_json*> seen;
  std::vector<trvptr_strong<trv_std_json>> held;

  // False when the walk has been in `container` already.
  bool first_visit(trv_std_json& container) {
    if (!seen.insert(&container).second) return false;
    held.push_back(trvptr_strong<trv_std_json>::from(&container));
    return true;
  }
};

// A container reached through several others (shared, not nested in a cycle) is walked once:
// each path to it again would double the work, for every level of such sharing.
void remove_key_in(trv_std_json& json, std::string_view key, visited_containers& visited) {
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  if (guard.enter(&json) != trv_json_path_guard::entry::entered) return;
  if (!visited.first_visit(json)) {
    guard.leave();
    return;
  }
  json.erase_key(key);
  // Holding the nested containers themselves keeps them alive while the walk is inside them:
  // a release there can run code that gives their entries other values.
  std::vector<trvptr_strong<trv_std_json>> nested;
  for (trv_json_entry& e : json.entries) {
    if (trv_std_json* container = trv_json_of(*e.value)) {
      nested.push_back(trvptr_strong<trv_std_json>::from(container));
    }
  }
  for (const trvptr_strong<trv_std_json>& container : nested) {
    remove_key_in(*container, key, visited);
  }
  guard.leave();
}

}  // namespace

void trv_std_json::remove_key_everywhere(std::string_view key) {
  visited_containers visited;
  remove_key_in(*this, key, visited);
}

// ---- deep copy ----

namespace {

struct copy_step {
  const trv_std_json* source;
  trvvar* copy;
};

void copy_into(trv_std_json& source, trvvar& target, std::vector<copy_step>& path) {
  for (const copy_step& step : path) {
    if (step.source == &source) {
      trvvar_shared existing = trvvar_shared::share(step.copy);
      trvvar_set(target, existing);
      return;
    }
  }
  if (path.size() >= trv_json_path_guard::limit) {
    trv_runtime_warning("JSON copy exceeds the maximum nesting depth of ",
                        trv_json_path_guard::limit, ", the remaining members are not copied.");
    return;
  }
  trvvar_set_type(target, TRVVAR_JSON);
  trv_std_json& copy = *trv_json_of(target);
  path.push_back({&source, &target});
  // The source's values are held while copying: the copy can run arbitrary releases.
  const size_t count = source.entries.size();
  for (size_t i = 0; i < count && i < source.entries.size(); ++i) {
    const trv_json_entry& e = source.entries[i];
    trvvar_shared value = e.value;
    trvvar_shared slot = e.key ? copy.add_keyed(*e.key) : copy.add_keyless();
    if (trv_std_json* nested = trv_json_of(*value)) {
      trvptr_strong<trvobject_base> hold = value->payload.object;
      copy_into(*nested, *slot, path);
    } else {
      trvvar_set(*slot, value);
    }
  }
  path.pop_back();
}

}  // namespace

trvvar_shared trv_std_json::deep_copy(trv_std_json& source) {
  trvvar_shared result = trv_new_json_var();
  std::vector<copy_step> path;
  copy_into(source, *result, path);
  return result;
}

// ---- object interface ----

void trv_std_json::set_index_member(int64_t index, trvvar_shared& value) {
  trvvar_shared slot = value_at(index);
  if (index < 0) index += static_cast<int64_t>(entries.size());
  if (has_index(index)) trvvar_set(*slot, value);
  value.reset();
}

void trv_std_json::set_named_member(std::string_view name, trvvar_shared& value) {
  trvvar_shared slot = find_or_add(name);
  trvvar_set(*slot, value);
  value.reset();
}

namespace {

const trv_pool_kind_registration<trv_std_json> json_object_pool;

}  // namespace

void trv_std_json::release() {
  clear();
  trv_pooled_release(this);
}

trvptr_strong<trvobject_base> trv_new_json_object() {
  return trv_pooled_new_shared<trv_std_json>();
}

trvvar_shared trv_json_add_keyless(trvobject_base& container) {
  return static_cast<trv_std_json&>(container).add_keyless();
}

void trv_json_teardown(trvobject_base& container) {
  static_cast<trv_std_json&>(container).clear_and_free();
}

bool trv_empty_json_object(trvobject_base& object) {
  trv_std_json* container = trv_object_cast<trv_std_json>(&object);
  if (container != nullptr) container->clear_and_free();
  return container != nullptr;
}
