#include "vm/class_def.h"

#include "values/payloads.h"

namespace {

// Parent chains are made by the compiler and free of cycles; the cap only guards a broken one.
constexpr int max_ancestors = 1 << 16;

bool derives_from(const trv_class_def* derived, const trv_class_def* ancestor) {
  int steps = 0;
  for (const trv_class_def* c = derived; c != nullptr && steps < max_ancestors; ++steps) {
    if (c == ancestor) return true;
    c = c->parent.get();
  }
  return false;
}

}  // namespace

trv_program_block_symbol_table& trv_class_def::symbol_table() {
  if (!symbols) {
    symbols = trvptr_strong<trv_program_block_symbol_table>::from_new(
        new trv_program_block_symbol_table());
  }
  return *symbols;
}

std::optional<trv_class_member> trv_class_def::find_member(std::string_view member) {
  trv_program_block_symbol_table& table = symbol_table();
  auto found = table.members.find(member);
  if (found == table.members.end()) return std::nullopt;
  const trv_symbol_entry& entry = found->second;
  return trv_class_member{entry.is_private != 0, entry.index, entry.is_method != 0};
}

void trv_class_def::add_member(std::string_view member, const trv_symbol_entry& entry) {
  trv_program_block_symbol_table& table = symbol_table();
  table.members.insert_or_assign(std::string(member), entry);
  table.ordered.insert_or_assign(std::string(member), entry);
  if (!entry.is_method || entry.index >= functions.size()) return;
  const trvvar& value = *functions[entry.index];
  if (value.type != TRVVAR_FUNCTION) return;
  for (size_t row = 0; row < trv_operator_names.size(); ++row) {
    if (trv_operator_names[row].method == member) {
      operators[row] = value.payload.function_payload->definition.lock();
    }
  }
}

bool trv_class_def::grants_private_access(const trv_class_def* accessing) const {
  if (accessing == nullptr) return false;
  return derives_from(accessing, this) || derives_from(this, accessing);
}
