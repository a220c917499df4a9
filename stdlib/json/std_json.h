#pragma once

// std.json: an ordered sequence of entries, each an optional key and a value variable of its
// own. A container whose entries have no keys is a list, one with keys an object; both kinds
// may be mixed and a key may occur more than once. Nested containers are values of type json,
// shared rather than copied, so containers can hold each other and themselves: every walk over
// nested containers carries a path guard (path_guard.h).
//
// The key index maps a key to one entry bearing it (the representative: what a lookup by key
// returns) and to the number of entries bearing it. Which entry represents a key depends on
// how the entries arrived: an added entry takes over; an index built from existing entries
// keeps the first; erasing the representative passes the role to the first remaining entry.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glue/hashing.h"
#include "objects/object_binding.h"
#include "stdlib/json/json_key.h"
#include "values/block_cache.h"
#include "values/pooled.h"

struct trv_runtime;

// One entry of a container: an optional key and a value variable of its own.
struct trv_json_entry {
  trv_json_key key;  // absent for a keyless entry
  trvvar_shared value;
};

// A container's entries, and every vector of entries that trades arrays with one.
using trv_json_entry_vector = std::vector<trv_json_entry, trv_cached_allocator<trv_json_entry>>;

// Calls `visit` with each entry in turn, by position and with the entry held for the call,
// until it answers false; answers whether every call answered true. Reading a value may add
// entries to its own container (a reference to one of the container's members reads the
// member by find-or-add), which moves them: walks that read values go this way. Entries added
// meanwhile are visited too.
template <class Visit>
bool trv_json_visit_entries(const trv_json_entry_vector& entries, Visit visit) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const trv_json_entry entry = entries[i];
    if (!visit(entry)) return false;
  }
  return true;
}

struct trv_json_key_node {
  trvvar* variable;  // the representative entry's value
  uint32_t count;    // entries bearing the key
};

using trv_json_key_index =
    std::unordered_map<std::string, trv_json_key_node, trv_hasher, trv_transparent_equal>;

class trv_std_json : public trvobject<trv_std_json, "std.json">,
                     public trvptr_type_tag<trv_std_json>,
                     public trv_pooled_class {
 public:
  static constexpr uint32_t constructor_max_params = 2;
  static constexpr std::string_view constructor_parameter_docs[] = {
      "json: string - Optional JSON string to parse into the new object",
      "suppress_errors: bool - Suppress any error messages."};

  // The content in its observable order. Code outside the container may append keyless
  // entries directly; keyed entries go through the operations below, which keep the index,
  // and reordering goes through reorder().
  trv_json_entry_vector entries;

  static void script_register();

  size_t size() const { return entries.size(); }
  bool has_index(int64_t index) const {
    return index >= 0 && static_cast<uint64_t>(index) < entries.size();
  }
  bool has_key(std::string_view key);
  // The representative's value for the key, or null; creates nothing.
  trvvar* find(std::string_view key);
  // The representative for the key; a missing key is appended with a none value and indexed
  // (an empty key included), so reading a missing member creates it.
  trvvar_shared find_or_add(std::string_view key);
  // Negative indices count from the end. Out of range: the runtime error "Out of bounds
  // access." and a new none.
  trvvar_shared value_at(int64_t index);

  trvvar_shared add_keyless();
  // An empty key makes the entry keyless.
  trvvar_shared add_keyed(std::string_view key);
  void add_value(trvvar_shared value, std::string_view key);
  // The same with the calling thread's owned runtime (or null), looked up once by a caller
  // that adds many.
  void add_value(trvvar_shared value, std::string_view key, trv_runtime* owned);
  // A keyless entry holding `value` at `position` (0 .. size).
  void insert_keyless(size_t position, trvvar_shared value);

  // Negative indices count from the end; false when out of range.
  bool erase_at(int64_t index);
  // Removes the first `count` entries (all when there are fewer) in one move, as erasing the
  // first entry that many times would leave the container and its index.
  void erase_front(size_t count);
  // Removes every entry bearing the key. A key not indexed is logged at the debug level.
  bool erase_key(std::string_view key);
  void clear();
  // Keeps the entries whose flag is set, in order, and rebuilds the index.
  void keep_entries(const std::vector<bool>& keep);
  // Deletes every key: all entries become keyless.
  void drop_keys();
  // This container becomes a copy of the other's entry list: keys copied, values assigned
  // (nested containers stay shared), the first of equal keys representing them.
  void assign_entries(const trv_std_json& other);
  // Fills the container (emptied before; entries added since are replaced) with entries
  // whose keys, where they have one, are all distinct; the index is built when first needed.
  // Used where many entries arrive at once (parsing).
  void adopt_entries(trv_json_entry_vector&& parsed);
  // The entries, for reordering in place. Pending keys are indexed first: the index maps keys
  // to variables, not positions, so a reorder never touches it once it is up to date.
  trv_json_entry_vector& reorder();

  // Empties this container and every container nested in it, marking the other values for
  // teardown, so that cycles among containers are broken. Skips what the shared path guard
  // refuses (a cycle, or deeper than 1024).
  void clear_and_free();
  // Erases the key here and in every nested container the shared guard admits.
  void remove_key_everywhere(std::string_view key);
  // A new json variable holding a deep copy of `source`: a container on the current path is
  // not copied again but refers to its copy, so self-references are reproduced.
  static trvvar_shared deep_copy(trv_std_json& source);

  // Object interface.
  // Clears entries and index and goes back to the pool.
  void release() override;
  std::string to_string() override;
  trvvar_shared get_index_member(int64_t index) override { return value_at(index); }
  trvvar_shared get_named_member(std::string_view name) override { return find_or_add(name); }
  void set_index_member(int64_t index, trvvar_shared& value) override;
  void set_named_member(std::string_view name, trvvar_shared& value) override;
  bool has_index_member(int64_t index) override { return has_index(index); }
  bool has_named_member(std::string_view name) override { return has_key(name); }
  bool is_empty() override { return entries.empty(); }
  int64_t element_count() override { return static_cast<int64_t>(entries.size()); }

  // Binary form: the "j11" record (json_binary.cpp).
  bool to_binary(std::vector<uint8_t>& writer) override;
  using trv_serializable::from_binary;
  bool from_binary(trv_binary_reader& reader) override;

  // Checks the key index against the entries (debug builds).
  void assert_invariant() const;

 private:
  // The index, after indexing the keys added since it was last brought up to date; null when
  // no entry has ever had a key.
  trv_json_key_index* index();
  trv_json_key_index& make_index();
  void index_key(std::string_view key, trvvar* variable);
  void unindex_entry(size_t position);
  void rebuild_index();
  trvvar_shared append(std::string_view key, trv_runtime* owned);
  // Appends an entry of `key` (empty: keyless) holding the variable `value`.
  void place(std::string_view key, trvvar_shared&& value);

  std::unique_ptr<trv_json_key_index> index_;
  // Entries before this position are reflected in the index. Keyed entries appended since
  // wait until a lookup or an edit needs the index, and are then indexed in order, each taking
  // over as its key's representative as an eagerly indexed add would: bulk filling (parsing,
  // reading the binary form) costs no hashing unless the keys are used.
  size_t indexed_ = 0;
};

// The container of a json variable, or null for any other variable.
trv_std_json* trv_json_of(const trvvar& v);
// A new json variable with a new empty container, and that container.
trvvar_shared trv_new_json_var(trv_std_json** container = nullptr);
// The same from the pools of `owned`, the calling thread's owned runtime looked up once by a
// caller that makes many (or null).
trvvar_shared trv_new_json_var(trv_runtime* owned, trv_std_json*& container);
