#pragma once

// Compiled code as the runtime reads it. The host's compiler (here: the host's assembler)
// builds a compiled unit (string literals and the source units the code came from) and its
// program blocks: one per function, method, class body or nested block, each with its
// instruction bytes, counts, flags and child table, and a table from code offsets to source
// tokens so that errors can show the script line.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glue/hashing.h"
#include "glue/object_ptr.h"
#include "values/var.h"

class trv_class_def;
class trv_function_def;

// One file of source text. A unit reached through another (an include or an import) links
// that unit as its parent.
struct trv_source_unit {
  std::string file_name;     // printed after "-->" in an excerpt
  std::string display_name;  // printed in the include chain
  std::string text;
  const trv_source_unit* parent = nullptr;

  // The text of line `line` (from 1) without its end of line; nothing when the unit has no
  // such line.
  std::optional<std::string_view> line_text(uint32_t line) const;
};

// A place in the source: the unit (null when the code has none), the line from 1 and the
// column as a byte index into the line from 0 (printed as "Index").
struct trv_source_token {
  const trv_source_unit* unit = nullptr;
  uint32_t line = 0;
  uint32_t column = 0;
};

// What blocks share: the string literals their instructions name and the source units.
class trv_compiled_unit : public trvptr_base<trv_compiled_unit> {
 public:
  bool pooled_control_block_allowed() const override { return false; }

  std::vector<std::string> literals;
  std::vector<std::unique_ptr<trv_source_unit>> sources;  // addresses stay fixed
};

// A member of a class body: the instance variable at `index`, or with the method flag the
// method at `index` of the class's function table.
struct trv_symbol_entry {
  uint8_t is_private = 0;
  uint32_t index = 0;
  uint8_t is_method = 0;
};

class trv_program_block_symbol_table : public trvptr_base<trv_program_block_symbol_table> {
 public:
  trv_program_block_symbol_table() {
    members.max_load_factor(1.0f);
    members.rehash(8);
  }
  bool pooled_control_block_allowed() const override { return false; }

  std::unordered_map<std::string, trv_symbol_entry, trv_hasher, trv_transparent_equal> members;
  std::map<std::string, trv_symbol_entry, std::less<>> ordered;
};

// One entry per member-access site (instruction 61): the class (or native class type tag)
// the entry was filled for, and the member index found there.
struct trv_member_cache_entry {
  uint64_t class_tag = 0;  // 0: empty
  int64_t index = -1;
  // A native class's member that is a method bound to its object: the method's definition.
  trv_function_def* method = nullptr;
};

// Block kinds the task loop acts on.
inline constexpr uint32_t TRV_BLOCK_LOOP = 1;      // break and continue stop here
inline constexpr uint32_t TRV_BLOCK_FUNCTION = 2;  // continue and return stop here
inline constexpr uint32_t TRV_BLOCK_GLOBAL = 4;    // a global script block
inline constexpr uint32_t trv_no_minimum = 0xFFFFFFFFu;

class trv_program_block : public trvptr_base<trv_program_block> {
 public:
  bool pooled_control_block_allowed() const override { return false; }

  const uint8_t* code_begin() const { return code.data(); }
  const uint8_t* code_end() const { return code.data() + code.size(); }

  std::string name;  // for listings and traces; not read by the interpreter
  std::vector<uint8_t> code;
  trvptr_strong<trv_compiled_unit> unit;
  trv_class_def* class_definition = nullptr;  // for the blocks of a class body
  std::vector<trvptr_strong<trv_program_block>> children;
  std::vector<uint8_t> slot_flags;  // one per local; bit value 4: a by-reference parameter
  std::vector<trvvar_shared> block_variables;
  trvptr_strong<trv_program_block> alternative;
  uint32_t local_count = 0;
  uint32_t parameter_count = 0;
  uint32_t capture_count = 0;
  uint32_t minimum_argument_count = trv_no_minimum;
  uint32_t kind = 0;
  uint8_t break_target = 0;
  uint32_t exit_position = 0;
  uint8_t no_except = 0;
  trvptr_strong<trv_program_block_symbol_table> symbol_table;  // created on first use
  std::vector<trv_member_cache_entry> member_cache;

  // Code offset -> source token; an offset is covered by the entry at or before it.
  std::map<uint32_t, trv_source_token> positions;
  // Variables the instructions point at (instruction 13), kept alive with the block.
  std::vector<trvvar_shared> immediates;
  // Native definitions the instructions point at (instructions 12 and 42); their namespaces
  // outlive the block. A pointer operand must be one of these or of the immediates: no other
  // pointer can be proven to be what the instruction takes it for.
  std::vector<const trv_function_def*> natives;
  // Classes the instructions name as the accessing class of a member access (instructions 61
  // and 62); the program that defines them outlives the block. Null names no class.
  std::vector<const trv_class_def*> classes;

  // The token covering `offset`; nothing when the block has no position at or before it.
  std::optional<trv_source_token> token_at(uint32_t offset) const;

  // Null while the block is sound; else why not. Checked once, before its first run: every
  // opcode known up to the first unknown one (which raises its own error when reached), every
  // instruction whole, every jump onto an instruction start or the code end, every slot,
  // block variable, literal, child and cache index inside its table, every pointer one of
  // the block's immediates or natives.
  const std::string* check_result();
  // check_result() == nullptr, answered without a call once the block is known sound.
  bool checked_sound() { return sound_ || check_result() == nullptr; }

 private:
  std::optional<std::string> check_error_;
  bool checked_ = false;
  bool sound_ = false;
};

// The check itself, for the assembler and the fuzzers: nothing when sound, else the reason.
std::optional<std::string> trv_program_block_check(const trv_program_block& block);
