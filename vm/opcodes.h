#pragma once

// The instruction set, generated from opcodes.def: opcode numbers, mnemonics, lengths,
// operand kinds and stack effects, and the readers of operands at their fixed offsets.

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

// What an instruction carries besides its opcode byte, and where.
enum trv_operand_kind : uint8_t {
  TRV_OPERANDS_NONE,         // nothing (the instruction may still be longer than one byte)
  TRV_OPERANDS_SMALL,        // small operand at +1
  TRV_OPERANDS_A,            // operand A at +4: a slot, block variable or argument index
  TRV_OPERANDS_AB,           // operand A at +4 (frames down), B at +8 (slot or variable)
  TRV_OPERANDS_LITERAL,      // operand A at +4: a string literal of the compiled unit
  TRV_OPERANDS_CHILD,        // operand A at +4: an entry of the block's child table
  TRV_OPERANDS_JUMP,         // operand A at +4: a signed offset from this instruction
  TRV_OPERANDS_A_FLAG,       // operand A at +4, a 32-bit flag at +8
  TRV_OPERANDS_INT,          // 64-bit integer at +8
  TRV_OPERANDS_FLOAT,        // 64-bit double at +8
  TRV_OPERANDS_NATIVE,       // pointer to a native trv_function_def at +8
  TRV_OPERANDS_VARIABLE,     // pointer to a trvvar at +8
  TRV_OPERANDS_MEMBER,       // literal A at +4, member-cache entry B at +8, class at +16
  TRV_OPERANDS_SMALL_CLASS,  // small operand at +1, accessing class at +8
};

enum trv_opcode : uint8_t {
#define TRV_OPCODE(op, mnemonic, length, operands, effect, doc) TRV_OP_##mnemonic = op,
#include "vm/opcodes.def"
#undef TRV_OPCODE
};

inline constexpr int trv_opcode_count = 0
#define TRV_OPCODE(op, mnemonic, length, operands, effect, doc) +1
#include "vm/opcodes.def"
#undef TRV_OPCODE
    ;
static_assert(trv_opcode_count == 67, "the instruction set has 67 instructions");

struct trv_opcode_info {
  std::string_view mnemonic;  // empty for a byte that is no opcode
  uint8_t length = 0;
  trv_operand_kind operands = TRV_OPERANDS_NONE;
  int8_t stack_effect = 0;
  std::string_view effect;
};

// Indexed by the opcode byte; entries 0 and 68..255 are empty.
inline constexpr std::array<trv_opcode_info, 256> trv_opcode_table = [] {
  std::array<trv_opcode_info, 256> table{};
#define TRV_OPCODE(op, mnemonic, length, operands, effect, doc) \
  table[op] = {#mnemonic, length, operands, effect, doc};
#include "vm/opcodes.def"
#undef TRV_OPCODE
  return table;
}();

// Every opcode in order 1..67, each length one the instruction format allows, and each
// operand kind fitting inside its length.
inline constexpr bool trv_opcode_table_sound = [] {
  constexpr uint8_t end_of[] = {1, 2, 8, 12, 8, 8, 8, 12, 16, 16, 16, 16, 24, 16};
  for (int op = 1; op <= 67; ++op) {
    const trv_opcode_info& info = trv_opcode_table[op];
    const uint8_t len = info.length;
    if (info.mnemonic.empty()) return false;
    if (len != 1 && len != 2 && len != 8 && len != 12 && len != 16 && len != 24) return false;
    if (end_of[info.operands] > len) return false;
  }
  return true;
}();
static_assert(trv_opcode_table_sound);
static_assert(trv_opcode_table[1].length == 8 && trv_opcode_table[14].length == 1 &&
              trv_opcode_table[19].length == 8 && trv_opcode_table[61].length == 24 &&
              trv_opcode_table[62].length == 16 && trv_opcode_table[53].length == 12);

// Operand readers. `ip` points at the opcode byte; the block check guarantees that the whole
// instruction lies inside the code.
inline uint8_t trv_operand_small(const uint8_t* ip) { return ip[1]; }
inline int32_t trv_operand_a(const uint8_t* ip) {
  int32_t value;
  std::memcpy(&value, ip + 4, sizeof value);
  return value;
}
inline int32_t trv_operand_b(const uint8_t* ip) {
  int32_t value;
  std::memcpy(&value, ip + 8, sizeof value);
  return value;
}
inline int64_t trv_operand_int(const uint8_t* ip) {
  int64_t value;
  std::memcpy(&value, ip + 8, sizeof value);
  return value;
}
inline double trv_operand_float(const uint8_t* ip) {
  double value;
  std::memcpy(&value, ip + 8, sizeof value);
  return value;
}
template <class T>
T* trv_operand_pointer(const uint8_t* ip, int offset = 8) {
  T* value;
  std::memcpy(&value, ip + offset, sizeof value);
  return value;
}
