#pragma once

// The host's assembler: the text form of compiled code (docs/assembler.md) turned into a
// compiled unit and its program blocks. The text form is what a compiler would hand the
// runtime: every field of a block the interpreter reads can be written, and ordinary
// instruction syntax always yields well-formed instructions; only `.bytes` writes anything
// else. Operands that depend on the running program (argument lists, outer frames, instance
// members) are the interpreter's to check.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glue/object_ptr.h"
#include "objects/function_def.h"
#include "vm/class_def.h"
#include "vm/program_block.h"

namespace trvhost {

// "namespace.name" of native definitions.
using native_name_map = std::unordered_map<const trv_function_def*, std::string>;

struct assembled_program {
  trvptr_strong<trv_compiled_unit> unit;
  trvptr_strong<trv_program_block> root;                 // the global block
  std::vector<trvptr_strong<trv_program_block>> blocks;  // every block, in text order
  std::vector<std::string> unit_names;                   // the name of each unit->sources entry
  native_name_map native_names;  // of every native definition an instruction points at
  std::vector<trvptr_strong<trv_class_def>> classes;  // in text order; they keep their blocks

  // Null when no block has that name.
  trv_program_block* find_block(std::string_view name) const;
};

// What is wrong with the text, and where: the line from 1, the column as a byte index from 1.
class assembly_error : public std::runtime_error {
 public:
  assembly_error(std::string file, uint32_t line, uint32_t column, std::string message);

  const std::string& file() const { return file_; }
  uint32_t line() const { return line_; }
  uint32_t column() const { return column_; }
  const std::string& message() const { return message_; }

 private:
  std::string file_;
  uint32_t line_;
  uint32_t column_;
  std::string message_;
};

// The native definition a reference "namespace.name" names; null when there is none.
using native_resolver =
    std::function<trv_function_def*(std::string_view ns, std::string_view name)>;

// Counts the text sets (slots, cache entries, argument lists) stop here, so that a number in
// the text can never ask for a huge allocation, now or when the block runs.
inline constexpr uint32_t assembler_count_limit = 65535;
// Blocks release their children recursively, so the child graph is kept this shallow.
inline constexpr uint32_t assembler_depth_limit = 256;

// Assembles `text`, naming `file_name` in errors. Throws assembly_error for any mistake in the
// text; exceptions of `natives` pass through. Variables are made for the calling thread's
// runtime, which must outlive the program.
assembled_program assemble(std::string_view text, std::string_view file_name,
                           const native_resolver& natives);

// Why the instruction at `offset` of `block` could not have been written in ordinary
// instruction syntax: an index outside its table, a limit exceeded, bytes outside the operands
// not zero. `operand` counts the written operands from 0 (-1: the instruction as a whole).
// Jump targets are checked only against the code range; `root` holds the global slots and
// variables. The instruction must be known and whole.
struct operand_problem {
  int operand;
  std::string message;
};
std::optional<operand_problem> ordinary_operand_problem(const trv_program_block& block,
                                                        const trv_program_block& root,
                                                        uint32_t offset);

// The text forms of values, shared with the listing: what one writes the other reads back
// exactly.
std::string quoted_text(std::string_view text);
std::string float_text(double value);
// Any float text parses; a NaN becomes the quiet NaN of its sign.
std::optional<double> parse_float_text(std::string_view text);
// "none", "int 5", "float 0.5", "string \"x\""; nothing for another type.
std::optional<std::string> constant_text(const trvvar& value);
// "loop", "function", "global" for the kinds with names, else the number.
std::string block_kind_text(uint32_t kind);

}  // namespace trvhost
