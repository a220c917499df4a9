// The "j11" record of a container: section header, entry count, then per entry its key (empty
// for a keyless entry) and its value as a "v11" variable record. Nested containers write and
// read their own records through the variable form, under the path guard the clearing and
// key removal share on this thread, so cycles and nesting deeper than 1024 stop the walk.

#include "stdlib/json/path_guard.h"
#include "stdlib/json/std_json.h"
#include "values/binary_form.h"
#include "values/report.h"

namespace {

constexpr std::string_view json_section = "j11";

// Set by any container that cannot be written; the root of the write consumes it. A nested
// failure cannot travel up as a result: the variable form of a json value always succeeds.
thread_local bool write_failed = false;

struct guard_leaver {
  trv_json_path_guard& guard;
  ~guard_leaver() { guard.leave(); }
};

bool refuse_write(trv_json_path_guard::entry refusal) {
  if (refusal == trv_json_path_guard::entry::cycle) {
    trv_runtime_warning(
        "Cannot serialize JSON to binary: the value contains a reference to itself (cycle).");
  } else {
    trv_runtime_warning("Cannot serialize JSON to binary: nesting exceeds the maximum depth of ",
                        trv_json_path_guard::limit, ".");
  }
  write_failed = true;
  return false;
}

bool write_entries(const std::vector<trv_json_entry>& entries, std::vector<uint8_t>& out) {
  trv_write_section(out, json_section);
  trv_write_varint(out, entries.size());
  for (const trv_json_entry& e : entries) {
    trv_write_string(out, e.key ? std::string_view(*e.key) : std::string_view());
    if (!trvvar_to_binary(*e.value, out)) return false;
  }
  return true;
}

// Reads one entry's value record. A reference is written as its type followed by the whole
// record of the value it leads to, but the variable reader stops behind the type and leaves
// that record unread (a reference cannot be rebuilt from bytes). The entry takes the value
// from it; left unread, it would be taken for the next entry's key.
bool read_entry_value(trvvar& value, trv_binary_reader& reader) {
  if (!trvvar_from_binary(value, reader)) return false;
  // Each round consumes a header, so a chain of reference records ends with the input.
  while (value.type == TRVVAR_REF) {
    if (!trvvar_from_binary(value, reader)) return false;
  }
  return true;
}

}  // namespace

bool trv_std_json::to_binary(std::vector<uint8_t>& out) {
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  const trv_json_path_guard::entry entered = guard.enter(this);
  if (entered != trv_json_path_guard::entry::entered) return refuse_write(entered);
  guard_leaver leave{guard};
  const bool root = guard.depth() == 1;
  const size_t start = out.size();
  if (root) write_failed = false;
  if (!write_entries(entries, out)) write_failed = true;
  if (!root) return !write_failed;
  // A failed write leaves the output as it was: a partial record would read back as
  // different data.
  const bool failed = write_failed;
  write_failed = false;
  if (failed) out.resize(start);
  return !failed;
}

bool trv_std_json::from_binary(trv_binary_reader& reader) {
  clear();
  if (!check_section(reader, json_section)) {
    trv_runtime_error("invalid section.");
    return false;
  }
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  if (guard.enter(this) != trv_json_path_guard::entry::entered) {
    trv_runtime_error("JSON binary nesting exceeds the maximum depth of ",
                      trv_json_path_guard::limit, ".");
    return false;
  }
  guard_leaver leave{guard};
  const auto count = static_cast<uint32_t>(trv_read_varint(reader));
  for (uint32_t i = 0; i < count; ++i) {
    const std::string_view key = read_string_view(reader);
    trvvar_shared value = add_keyed(key);
    // A value that cannot be read leaves the reader inside its record: what follows is not
    // this container's.
    if (!read_entry_value(*value, reader)) return false;
  }
  return true;
}
