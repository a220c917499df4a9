// The "j11" record of a container: section header, entry count, then per entry its key (empty
// for a keyless entry) and its value as a "v11" variable record. Nested containers are written
// and read in place, by recursion under the path guard the clearing and key removal share on
// this thread, so cycles and nesting deeper than 1024 stop the walk.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "glue/platform/prefetch.h"
#include "stdlib/json/json_bool.h"
#include "stdlib/json/path_guard.h"
#include "stdlib/json/std_json.h"
#include "values/binary_form.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
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

// Writing waits on memory more than it computes: each value sits at the end of a chain of
// pointers (entry, then variable, control block, object; for a nested container its
// entry array and the entries there). While one entry is written, the entries after it are
// fetched, the nearer ones a link further, so each link has arrived by the time the next one
// is followed; a container's first entries are fetched while the entry before it is written.
// The helpers stay small enough to be inlined (glue/platform/prefetch.h).
void fetch_variable(const trv_json_entry& e) {
  trv_prefetch(e.value.get());  // keys of up to 15 bytes lie in the entry itself
}

void fetch_payload(const trvvar& v) {
  if (v.type == TRVVAR_STRING || v.type == TRVVAR_JSON) {
    trv_prefetch(v.payload.object.control_block());
  } else if (v.type == TRVVAR_OBJECT) {
    trv_prefetch(v.payload.object_payload);
  }
}

void fetch_object(const trvvar& v) {
  if (v.type == TRVVAR_STRING || v.type == TRVVAR_JSON) {
    trv_prefetch(v.payload.object.get());
  } else if (v.type == TRVVAR_OBJECT) {
    trv_prefetch(v.payload.object_payload->object.control_block());
  }
}

// A container's entry array; the object behind an object variable's payload.
void fetch_contents(const trvvar& v) {
  if (v.type == TRVVAR_JSON && v.payload.object) {
    const trv_json_entry_vector& entries = static_cast<trv_std_json&>(*v.payload.object).entries;
    if (entries.empty()) return;
    trv_prefetch(entries.data());
    if (entries.size() > 4) trv_prefetch(entries.data() + 4);  // the next cache line
  } else if (v.type == TRVVAR_OBJECT) {
    trv_prefetch(v.payload.object_payload->object.get());
  }
}

// The entries of a nested container, none for another value.
std::span<const trv_json_entry> nested_entries(const trvvar& v) {
  if (v.type != TRVVAR_JSON || !v.payload.object) return {};
  return static_cast<trv_std_json&>(*v.payload.object).entries;
}

// Writes container records behind the writer's bytes. Values of the plain types, json.bool
// objects and nested containers are written in place, a nested container by recursion under
// the guard (at most 1024 levels); the other values go through the variable form on the
// vector itself.
class record_writer {
 public:
  record_writer(trv_binary_writer& out, trv_json_path_guard& guard)
      : out_(out), guard_(guard), failed_(write_failed) {}

  // The record of a container the guard has admitted. False when one of its values cannot be
  // written; the bytes written so far stay.
  bool entries(const trv_json_entry_vector& list) {
    const size_t start = out_.size();
    uint8_t* p = out_.room(16);
    p[0] = json_section.size();
    std::memcpy(p + 1, json_section.data(), json_section.size());
    p[4] = 0;
    out_.advance(trv_put_varint(p + 5, list.size()));
    const trv_json_entry* data = list.data();
    const size_t n = list.size();
    for (size_t i = 0; i < n; ++i) {
      if (i + 5 < n) fetch_variable(data[i + 5]);
      if (i + 4 < n) fetch_payload(*data[i + 4].value);
      if (i + 3 < n) fetch_object(*data[i + 3].value);
      if (i + 2 < n) fetch_contents(*data[i + 2].value);
      if (i + 1 < n) {
        const std::span<const trv_json_entry> inner = nested_entries(*data[i + 1].value);
        for (size_t c = 0; c < std::min<size_t>(inner.size(), 8); ++c) fetch_variable(inner[c]);
      }
      if (i == n / 32 && n >= 1024) expect_rest(start, i, n);
      const trv_json_entry& e = data[i];
      const std::string_view key = e.key ? std::string_view(*e.key) : std::string_view();
      out_.advance(trv_put_string(out_.room(key.size() + 11), key));
      const trvvar& v = *e.value;
      if (trv_write_plain_value(out_, v)) continue;
      if (v.type == TRVVAR_JSON) {
        nested(v);
        continue;
      }
      if (v.type == TRVVAR_OBJECT) {
        if (const trv_std_json_bool* b = trv_json_bool_of(v.payload.object_payload->object.get())) {
          uint8_t* p = trv_put_variable_header(out_.room(16), TRVVAR_OBJECT);
          out_.advance(trv_json_bool_put_record(p, b->get()));
          continue;
        }
      }
      // Objects, references and the types without a payload form.
      const bool written = trvvar_to_binary(v, out_.settle());
      out_.resume();
      if (!written) return false;
    }
    return true;
  }

 private:
  // A long list, `done` of its `n` entries written since `start`: room for the rest at the
  // same average size (and an eighth more) is made at once, sparing the copies of the output
  // growing step by step.
  void expect_rest(size_t start, size_t done, size_t n) {
    const size_t average = (out_.size() - start) / done;
    const size_t each = average + average / 8;
    if (each > SIZE_MAX / (n - done)) return;
    out_.expect((n - done) * each);
  }

  // A json value: its header, then its container's record. The container's failure sets the
  // failure flag but does not end this record: the variable form of a json value succeeds.
  void nested(const trvvar& v) {
    out_.advance(trv_put_variable_header(out_.room(8), TRVVAR_JSON));
    if (!v.payload.object) return;
    // A json variable's object is always a container.
    auto& container = static_cast<trv_std_json&>(*v.payload.object);
    const trv_json_path_guard::entry entered = guard_.enter(&container);
    if (entered != trv_json_path_guard::entry::entered) {
      refuse_write(entered);
      return;
    }
    guard_leaver leave{guard_};
    if (!entries(container.entries)) failed_ = true;
  }

  trv_binary_writer& out_;
  trv_json_path_guard& guard_;
  bool& failed_;
};

// Reads container records. Nested containers are read in place, by recursion under the guard
// (at most 1024 levels); other values through the variable form.
class record_reader {
 public:
  record_reader(trv_binary_reader& in, trv_json_path_guard& guard) : in_(in), guard_(guard) {}

  // Replaces the container's content with the record at the reader's position.
  bool read(trv_std_json& container) {
    container.clear();
    if (!check_section(in_, json_section)) {
      trv_runtime_error("invalid section.");
      return false;
    }
    if (guard_.enter(&container) != trv_json_path_guard::entry::entered) {
      trv_runtime_error("JSON binary nesting exceeds the maximum depth of ",
                        trv_json_path_guard::limit, ".");
      return false;
    }
    guard_leaver leave{guard_};
    const auto count = static_cast<uint32_t>(trv_read_varint(in_));
    // Room for the entries the input can hold: a key and a value record take 8 bytes at least.
    container.entries.reserve(std::min<uint64_t>(count, (in_.size - in_.position) / 8));
    for (uint32_t i = 0; i < count; ++i) {
      const std::string_view key = read_string_view(in_);
      trvvar_shared value = container.add_keyed(key);
      // A value that cannot be read leaves the reader inside its record: what follows is not
      // this container's.
      if (!entry_value(*value)) return false;
    }
    return true;
  }

 private:
  // A reference is written as its type followed by the whole record of the value it leads to,
  // but the variable reader stops behind the type and leaves that record unread (a reference
  // cannot be rebuilt from bytes). The entry takes the value from it; left unread, it would be
  // taken for the next entry's key. When that record cannot be read, the entry is left none,
  // which is what a reference that leads nowhere is written as.
  bool entry_value(trvvar& value) {
    struct unresolved_to_none {
      trvvar& v;
      ~unresolved_to_none() {
        if (v.type == TRVVAR_REF) trvvar_set_type(v, TRVVAR_NONE);
      }
    } settle{value};
    if (!value_record(value)) return false;
    // Each round consumes a header, so a chain of reference records ends with the input.
    while (value.type == TRVVAR_REF) {
      if (!value_record(value)) return false;
    }
    return true;
  }

  bool value_record(trvvar& value) {
    // A nested container's variable record in the writer's form: the same steps as the
    // variable reader takes for it (header, type, a new container, its record), in place.
    const bool header_fits = in_.position < in_.size && in_.size - in_.position >= 6;
    const uint8_t* at = header_fits ? in_.data + in_.position : nullptr;
    if (header_fits && at[0] == 3 && at[1] == 'v' && at[2] == '1' && at[3] == '1' &&
        at[5] == TRVVAR_JSON) {
      in_.position += 6;
      trvvar_set_type(value, TRVVAR_JSON);
      return read(static_cast<trv_std_json&>(*value.payload.object));
    }
    return trvvar_from_binary(value, in_);
  }

  trv_binary_reader& in_;
  trv_json_path_guard& guard_;
};

}  // namespace

bool trv_std_json::to_binary(std::vector<uint8_t>& out) {
  trv_json_path_guard& guard = trv_json_path_guard::shared();
  const trv_json_path_guard::entry entered = guard.enter(this);
  if (entered != trv_json_path_guard::entry::entered) return refuse_write(entered);
  guard_leaver leave{guard};
  const bool root = guard.depth() == 1;
  trv_binary_writer writer(out);
  const size_t start = writer.size();
  if (root) write_failed = false;
  if (!record_writer(writer, guard).entries(entries)) write_failed = true;
  if (!root) return !write_failed;
  // A failed write leaves the output as it was: a partial record would read back as
  // different data.
  const bool failed = write_failed;
  write_failed = false;
  if (failed) writer.cut_back(start);
  return !failed;
}

bool trv_std_json::from_binary(trv_binary_reader& reader) {
  return record_reader(reader, trv_json_path_guard::shared()).read(*this);
}

// The classes whose objects read their own record after an object value's header: json.bool
// and the container, which an object value holding one (the receiver a method such as `push`
// returns) writes.
trvptr_strong<trvobject_base> trv_new_object_for_record(const trv_binary_reader& reader) {
  if (trv_section_ahead(reader, trv_json_bool_section)) {
    return trvptr_strong<trvobject_base>::from_new(new trv_std_json_bool());
  }
  if (trv_section_ahead(reader, json_section)) return trv_new_json_object();
  return {};
}
