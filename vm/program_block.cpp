// Source lines, positions, and the check that makes a block safe to interpret.
//
// The interpreter reads operands without bounds checks, so a block runs only after the check
// has walked it once: every index the instruction itself names (a slot, block variable,
// literal, child or cache entry) and every jump target is proven here. Indexes whose table is
// only known while running (argument lists, outer frames, the global frame, instance members)
// stay with the interpreter.

#include "vm/program_block.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "vm/opcodes.h"

std::optional<std::string_view> trv_source_unit::line_text(uint32_t line) const {
  if (line == 0) return std::nullopt;
  const std::string_view all = text;
  size_t start = 0;
  for (uint32_t k = 1; k < line; ++k) {
    const size_t end = all.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 1;
  }
  // A line exists when it starts before the end of the text: a final "\n" ends the last line
  // and opens none.
  if (start >= all.size()) return std::nullopt;
  size_t end = all.find('\n', start);
  if (end == std::string_view::npos) return all.substr(start);
  if (end > start && all[end - 1] == '\r') --end;
  return all.substr(start, end - start);
}

std::optional<trv_source_token> trv_program_block::token_at(uint32_t offset) const {
  auto after = positions.upper_bound(offset);
  if (after == positions.begin()) return std::nullopt;
  return std::prev(after)->second;
}

const std::string* trv_program_block::check_result() {
  if (!checked_) {
    check_error_ = trv_program_block_check(*this);
    checked_ = true;
    sound_ = !check_error_;
  }
  return check_error_ ? &*check_error_ : nullptr;
}

namespace {

using reason = std::optional<std::string>;

std::string decimal(int64_t value) { return std::to_string(value); }

bool known_opcode(uint8_t byte) { return !trv_opcode_table[byte].mnemonic.empty(); }

// The instruction starts of a block's code, found by walking it from the start. The walk
// stops at the first unknown opcode (its length is unknown) or at an instruction that does not
// fit; the unknown opcode's own offset counts as a start, because falling through reaches it
// as well (the interpreter then raises "invalid instruction").
struct instruction_walk {
  std::vector<size_t> starts;      // in code order
  std::vector<bool> is_start;      // by offset, one past the code end included
  size_t unknown_at = SIZE_MAX;    // offset of the first unknown opcode, if any
  size_t truncated_at = SIZE_MAX;  // offset of an instruction running past the end, if any

  explicit instruction_walk(const std::vector<uint8_t>& code) : is_start(code.size() + 1) {
    is_start[code.size()] = true;
    size_t at = 0;
    while (at < code.size()) {
      is_start[at] = true;
      if (!known_opcode(code[at])) {
        unknown_at = at;
        return;
      }
      starts.push_back(at);
      const size_t length = trv_opcode_table[code[at]].length;
      if (length > code.size() - at) {
        truncated_at = at;
        return;
      }
      at += length;
    }
  }

  // Why `target` cannot be entered ("lands inside an instruction" ...), nothing when it can.
  reason landing(int64_t target) const {
    if (target < 0 || target >= static_cast<int64_t>(is_start.size())) {
      return "lands outside the code";
    }
    const size_t at = static_cast<size_t>(target);
    if (is_start[at]) return std::nullopt;
    if (at > unknown_at) return "lands after the unknown opcode at " + decimal(unknown_at);
    return "lands inside an instruction";
  }
};

reason check_counts(const trv_program_block& block) {
  if (!block.slot_flags.empty() && block.slot_flags.size() != block.local_count) {
    return "block has " + decimal(block.slot_flags.size()) + " slot flags for " +
           decimal(block.local_count) + " locals";
  }
  if (static_cast<uint64_t>(block.parameter_count) + block.capture_count > block.local_count) {
    return "block has " + decimal(block.local_count) + " locals for " +
           decimal(block.parameter_count) + " parameters and " + decimal(block.capture_count) +
           " captures";
  }
  return std::nullopt;
}

// "what index at offset is outside the owner's count plural" when index is not below count.
reason index_in(int64_t index, size_t count, std::string_view what, size_t at,
                std::string_view owner, std::string_view plural) {
  if (index >= 0 && static_cast<uint64_t>(index) < count) return std::nullopt;
  return std::string(what) + " " + decimal(index) + " at " + decimal(at) + " is outside the " +
         std::string(owner) + " " + decimal(count) + " " + std::string(plural);
}

reason check_local(const trv_program_block& block, int64_t slot, size_t at) {
  return index_in(slot, block.local_count, "local", at, "block's", "locals");
}

reason check_literal(const trv_program_block& block, int64_t literal, size_t at) {
  if (!block.unit) return "literal " + decimal(literal) + " at " + decimal(at) + " has no unit";
  return index_in(literal, block.unit->literals.size(), "literal", at, "unit's", "literals");
}

reason check_child(const trv_program_block& block, int64_t child, size_t at) {
  if (reason r = index_in(child, block.children.size(), "child", at, "block's", "children")) {
    return r;
  }
  if (!block.children[static_cast<size_t>(child)]) {
    return "child " + decimal(child) + " at " + decimal(at) + " is null";
  }
  return std::nullopt;
}

// Opcode 48 runs child P - m as the default of parameter P and stores into local P; without
// a minimum m there is no such child.
reason check_default_argument(const trv_program_block& block, uint8_t parameter, size_t at) {
  if (reason r = check_local(block, parameter, at)) return r;
  const uint32_t minimum = block.minimum_argument_count;
  if (minimum == trv_no_minimum) {
    return "default argument " + decimal(parameter) + " at " + decimal(at) +
           " needs a minimum argument count";
  }
  if (parameter < minimum) {
    return "default argument " + decimal(parameter) + " at " + decimal(at) +
           " is below the minimum argument count " + decimal(minimum);
  }
  return check_child(block, int64_t{parameter} - minimum, at);
}

// The pointers a block keeps, which are all that pointer operands may name (anything else may
// point anywhere), sorted once per check: a block may name thousands.
class kept_pointers {
 public:
  template <class T>
  explicit kept_pointers(const std::vector<T>& entries) {
    pointers_.reserve(entries.size());
    for (const T& entry : entries) pointers_.push_back(std::to_address(entry));
    std::sort(pointers_.begin(), pointers_.end(), std::less<>());
  }
  bool has(const void* pointer) const {
    return std::binary_search(pointers_.begin(), pointers_.end(), pointer, std::less<>());
  }

 private:
  std::vector<const void*> pointers_;
};

struct block_pointers {
  kept_pointers natives, immediates, classes;
  explicit block_pointers(const trv_program_block& block)
      : natives(block.natives), immediates(block.immediates), classes(block.classes) {}
};

reason check_pointer(const uint8_t* ip, const kept_pointers& kept, std::string_view what,
                     size_t at) {
  const void* pointer = trv_operand_pointer<const void>(ip);
  if (pointer == nullptr) return std::string(what) + " at " + decimal(at) + " is null";
  if (kept.has(pointer)) return std::nullopt;
  return std::string(what) + " at " + decimal(at) + " is not one of the block's";
}

// The accessing class of a member access: none, or one the block names.
reason check_class(const kept_pointers& classes, const uint8_t* ip, int offset, size_t at) {
  const trv_class_def* accessing = trv_operand_pointer<const trv_class_def>(ip, offset);
  if (accessing == nullptr || classes.has(accessing)) return std::nullopt;
  return "accessing class at " + decimal(at) + " is not one of the block's";
}

reason check_jump(const instruction_walk& walk, const uint8_t* ip, size_t at) {
  reason r = walk.landing(static_cast<int64_t>(at) + trv_operand_a(ip));
  if (r) return "jump at " + decimal(at) + " " + *r;
  return std::nullopt;
}

reason check_operands(const trv_program_block& block, const block_pointers& kept,
                      const instruction_walk& walk, size_t at) {
  const uint8_t* ip = block.code_begin() + at;
  const uint8_t opcode = ip[0];
  switch (trv_opcode_table[opcode].operands) {
    case TRV_OPERANDS_SMALL:
      if (opcode == TRV_OP_default_arg) return check_default_argument(block, ip[1], at);
      return std::nullopt;
    case TRV_OPERANDS_NONE:
      if (opcode == TRV_OP_enter_alt && !block.alternative) {
        return "alternative block at " + decimal(at) + " is null";
      }
      return std::nullopt;
    case TRV_OPERANDS_A:
      if (opcode == TRV_OP_load_local || opcode == TRV_OP_load_local_flags) {
        return check_local(block, trv_operand_a(ip), at);
      }
      if (opcode == TRV_OP_load_block_var) {
        return index_in(trv_operand_a(ip), block.block_variables.size(), "block variable", at,
                        "block's", "block variables");
      }
      return std::nullopt;
    case TRV_OPERANDS_LITERAL:
      return check_literal(block, trv_operand_a(ip), at);
    case TRV_OPERANDS_CHILD:
      return check_child(block, trv_operand_a(ip), at);
    case TRV_OPERANDS_JUMP:
      return check_jump(walk, ip, at);
    case TRV_OPERANDS_NATIVE:
      return check_pointer(ip, kept.natives, "native definition", at);
    case TRV_OPERANDS_VARIABLE:
      return check_pointer(ip, kept.immediates, "variable", at);
    case TRV_OPERANDS_MEMBER:
      if (reason r = check_literal(block, trv_operand_a(ip), at)) return r;
      if (reason r = check_class(kept.classes, ip, 16, at)) return r;
      return index_in(trv_operand_b(ip), block.member_cache.size(), "cache entry", at, "block's",
                      "cache entries");
    case TRV_OPERANDS_SMALL_CLASS:
      return check_class(kept.classes, ip, 8, at);
    case TRV_OPERANDS_AB:
    case TRV_OPERANDS_A_FLAG:
    case TRV_OPERANDS_INT:
    case TRV_OPERANDS_FLOAT:
      return std::nullopt;
  }
  return std::nullopt;
}

// A break resumes a break-target block at its last 8 bytes, which must be one instruction.
reason check_break_target(const trv_program_block& block, const instruction_walk& walk) {
  if (!block.break_target) return std::nullopt;
  const size_t size = block.code.size();
  if (size < 8 || walk.landing(static_cast<int64_t>(size - 8)) || size - 8 == walk.unknown_at ||
      trv_opcode_table[block.code[size - 8]].length != 8) {
    return std::string("break target does not end with an 8-byte instruction");
  }
  return std::nullopt;
}

// A member cache entry remembers what one site read, and a hit does not ask again: sites
// sharing an entry must read the same member for the same accessing class, or one would get
// the other's member, past its privacy.
reason check_shared_cache_entries(const trv_program_block& block, const instruction_walk& walk) {
  struct site {
    const std::string* name = nullptr;
    const trv_class_def* accessing = nullptr;
  };
  std::vector<site> first(block.member_cache.size());
  for (size_t at : walk.starts) {
    const uint8_t* ip = block.code.data() + at;
    if (trv_opcode_table[*ip].operands != TRV_OPERANDS_MEMBER) continue;
    const site here{&block.unit->literals[static_cast<size_t>(trv_operand_a(ip))],
                    trv_operand_pointer<const trv_class_def>(ip, 16)};
    site& owner = first[static_cast<size_t>(trv_operand_b(ip))];
    if (owner.name == nullptr) {
      owner = here;
    } else if (*owner.name != *here.name || owner.accessing != here.accessing) {
      return "cache entry " + decimal(trv_operand_b(ip)) + " at " + decimal(at) +
             " serves another member or accessing class too";
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> trv_program_block_check(const trv_program_block& block) {
  if (reason r = check_counts(block)) return r;
  const instruction_walk walk(block.code);
  const block_pointers kept(block);
  for (size_t at : walk.starts) {
    if (at == walk.truncated_at) return "instruction at " + decimal(at) + " runs past the code end";
    if (reason r = check_operands(block, kept, walk, at)) return r;
  }
  if (reason r = check_shared_cache_entries(block, walk)) return r;
  if (reason r = walk.landing(block.exit_position)) {
    return "exit position " + decimal(block.exit_position) + " " + *r;
  }
  return check_break_target(block, walk);
}
