// The host's assembler and listing: operands at their offsets, labels, positions and units,
// the errors a program text can make, and the round trip through the listing.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "host/assembler.h"
#include "host/listing.h"
#include "tests/support/owned_runtime.h"
#include "values/convert.h"
#include "vm/opcodes.h"

namespace {

using trvhost::assembled_program;

class Assembler : public ::testing::Test {
 protected:
  Assembler() { testfn_.name = "testfn"; }

  assembled_program assemble(std::string_view text) {
    return trvhost::assemble(text, "t.tasm", [this](std::string_view ns, std::string_view name) {
      return ns == "opencv" && name == "testfn" ? &testfn_ : nullptr;
    });
  }
  // The complete error text, or "" when the text assembles.
  std::string error_of(std::string_view text) {
    try {
      assemble(text);
    } catch (const trvhost::assembly_error& error) {
      return error.what();
    }
    return "";
  }

  trv_function_def testfn_;
  owned_runtime runtime_;
};

// Every operand kind, written in ordinary syntax, read back with the interpreter's readers.
// The instruction under test follows an 8-byte one, in a block with known tables.
TEST_F(Assembler, OperandsLandAtTheirOffsetsWithTheirWidths) {
  using check = std::function<void(const uint8_t* ip, const trv_program_block& main)>;
  auto literal = [](const trv_program_block& main, int32_t index) {
    return main.unit->literals.at(static_cast<size_t>(index));
  };
  const struct {
    const char* line;
    check expect;
  } rows[] = {
      {"load_local b", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"load_local_flags 0", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 0); }},
      {"load_block_var limit", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"load_outer_local 3 7",
       [](auto ip, auto&) {
         EXPECT_EQ(trv_operand_a(ip), 3);
         EXPECT_EQ(trv_operand_b(ip), 7);
       }},
      {"load_outer_block_var 0 2", [](auto ip, auto&) { EXPECT_EQ(trv_operand_b(ip), 2); }},
      {"load_global b", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"load_global_block_var limit", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"int -9223372036854775808",
       [](auto ip, auto&) { EXPECT_EQ(trv_operand_int(ip), std::numeric_limits<int64_t>::min()); }},
      {"int 0x7fffffffffffffff",
       [](auto ip, auto&) { EXPECT_EQ(trv_operand_int(ip), std::numeric_limits<int64_t>::max()); }},
      {"float -0.125", [](auto ip, auto&) { EXPECT_EQ(trv_operand_float(ip), -0.125); }},
      {"string \"hi\\n\"",
       [&](auto ip, auto& main) {
         EXPECT_EQ(trv_operand_a(ip), 1);
         EXPECT_EQ(literal(main, 1), "hi\n");
       }},
      // The same text is one literal for the whole unit.
      {"has_member \"first\"", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 0); }},
      {"function helper", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"enter side", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 0); }},
      {"catch 1", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 1); }},
      {"native opencv.testfn",
       [this](auto ip, auto&) { EXPECT_EQ(trv_operand_pointer<trv_function_def>(ip), &testfn_); }},
      {"call_native opencv.testfn",
       [this](auto ip, auto&) { EXPECT_EQ(trv_operand_pointer<trv_function_def>(ip), &testfn_); }},
      {"variable string \"x\"",
       [](auto ip, auto& main) {
         ASSERT_EQ(main.immediates.size(), 1u);
         EXPECT_EQ(trv_operand_pointer<trvvar>(ip), main.immediates[0].get());
         EXPECT_EQ(trvvar_string_value(*main.immediates[0]), "x");
       }},
      {"variable int -3",
       [](auto ip, auto&) { EXPECT_EQ(trvvar_int_value(*trv_operand_pointer<trvvar>(ip)), -3); }},
      {"capture 1", [](auto ip, auto&) { EXPECT_EQ(trv_operand_small(ip), 1); }},
      {"index 255",
       [](auto ip, auto&) {
         EXPECT_EQ(trv_operand_small(ip), 255);
         EXPECT_EQ(trv_operand_pointer<void>(ip, 8), nullptr);
       }},
      {"member 4 0xFFFFFFFF",
       [](auto ip, auto&) {
         EXPECT_EQ(trv_operand_a(ip), 4);
         EXPECT_EQ(trv_operand_b(ip), -1);
       }},
      // An access site without a written entry gets the next one after the declared two.
      {"get_member \"w\"",
       [](auto ip, auto& main) {
         EXPECT_EQ(trv_operand_a(ip), 1);
         EXPECT_EQ(trv_operand_b(ip), 2);
         EXPECT_EQ(trv_operand_pointer<void>(ip, 16), nullptr);
         EXPECT_EQ(main.member_cache.size(), 3u);
       }},
      {"get_member \"w\" 1",
       [](auto ip, auto& main) {
         EXPECT_EQ(trv_operand_b(ip), 1);
         EXPECT_EQ(main.member_cache.size(), 2u);
       }},
      {"args_open 65535", [](auto ip, auto&) { EXPECT_EQ(trv_operand_a(ip), 65535); }},
      {"pop", [](auto, auto&) {}},
      {"none", [](auto, auto&) {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    const assembled_program program = assemble(std::string(R"(
.block main global
  .root
  .param a
  .local b byref
  .child side
  .child helper
  .var int 1
  .var limit float 2.5
  .cache 2
  string "first"
  )") + row.line + R"(
.block side
.block helper
)");
    const trv_program_block& main = *program.root;
    ASSERT_GE(main.code.size(), 9u);
    const uint8_t* ip = main.code_begin() + 8;
    const std::string_view mnemonic =
        std::string_view(row.line).substr(0, std::string_view(row.line).find(' '));
    EXPECT_EQ(trv_opcode_table[ip[0]].mnemonic, mnemonic);
    EXPECT_EQ(main.code.size(), 8u + trv_opcode_table[ip[0]].length);
    row.expect(ip, main);
  }
}

TEST_F(Assembler, JumpsCountFromTheirOwnStartAndLabelsMarkOffsets) {
  const assembled_program program = assemble(R"(
.block main global
  .root
  .exit again
  .child tail
again:
  none                 ; 0
  jump_if_false out    ; 1 -> 25
  jump_if_true again   ; 9 -> 0
  jump out             ; 17 -> 25
out:
.block tail
  none
)");
  const trv_program_block& main = *program.root;
  ASSERT_EQ(main.code.size(), 25u);
  EXPECT_EQ(trv_operand_a(main.code_begin() + 1), 24);
  EXPECT_EQ(trv_operand_a(main.code_begin() + 9), -9);
  EXPECT_EQ(trv_operand_a(main.code_begin() + 17), 8);
  EXPECT_EQ(main.exit_position, 0u);
  // Without .exit a block resumes after return at its end.
  EXPECT_EQ(program.find_block("tail")->exit_position, 1u);
}

TEST_F(Assembler, HeaderFieldsAndTheChildGraph) {
  const assembled_program program = assemble(R"(
.block main global
  .root
  .local
  .child add
  .child loop
  .var none
  .var string "s"
.block add function
  .param a
  .param b byref
  .capture c
  .local tmp flags 6
  .min_args 1
  .no_except
  .child default_b
  .child shared
  default_arg 1
.block default_b
  .child shared
.block loop loop
  .break_target
  .alternative shared
  pop
.block shared 7
)");
  const trv_program_block& add = *program.find_block("add");
  EXPECT_EQ(add.kind, TRV_BLOCK_FUNCTION);
  EXPECT_EQ(add.parameter_count, 2u);
  EXPECT_EQ(add.capture_count, 1u);
  EXPECT_EQ(add.local_count, 4u);
  EXPECT_EQ(add.slot_flags, (std::vector<uint8_t>{0, 4, 0, 6}));
  EXPECT_EQ(add.minimum_argument_count, 1u);
  EXPECT_EQ(add.no_except, 1);
  EXPECT_EQ(program.root->minimum_argument_count, trv_no_minimum);
  EXPECT_EQ(program.root->slot_flags, std::vector<uint8_t>{0});

  const trv_program_block& loop = *program.find_block("loop");
  const trv_program_block* shared = program.find_block("shared");
  EXPECT_EQ(loop.break_target, 1);
  EXPECT_EQ(loop.alternative.get(), shared);
  EXPECT_EQ(shared->kind, 7u);
  // One block may hang below several parents.
  EXPECT_EQ(add.children[1].get(), shared);
  EXPECT_EQ(program.find_block("default_b")->children[0].get(), shared);

  ASSERT_EQ(program.root->block_variables.size(), 2u);
  EXPECT_EQ(program.root->block_variables[0]->type, TRVVAR_NONE);
  EXPECT_EQ(trvvar_string_value(*program.root->block_variables[1]), "s");
}

TEST_F(Assembler, PositionsEnterTheMapWhereTheyChangeAndUnitsKeepTheirIncluders) {
  const assembled_program program = assemble(R"(
.unit main file "scripts/main.trv" display "main"
|var a = 1;
# a comment between source lines
|include "lib";
.unit lib file "scripts/lib.trv" parent main
|  helper();
.block g global
  .root
  @1:4 none     ; 0
  none          ; 1: unchanged
  .at lib 1:2
  none          ; 2
  @1:2 none     ; 3: unchanged
  .at none
  none          ; 4: no source from here
  @2:0 none     ; 5: the unit of the last .at
)");
  const auto& sources = program.unit->sources;
  ASSERT_EQ(sources.size(), 2u);
  const trv_source_unit& main = *sources[0];
  const trv_source_unit& lib = *sources[1];
  EXPECT_EQ(main.file_name, "scripts/main.trv");
  EXPECT_EQ(main.display_name, "main");
  EXPECT_EQ(main.text, "var a = 1;\ninclude \"lib\";\n");
  EXPECT_EQ(main.parent, nullptr);
  EXPECT_EQ(lib.display_name, "scripts/lib.trv");
  EXPECT_EQ(lib.text, "  helper();\n");
  EXPECT_EQ(lib.parent, &main);
  EXPECT_EQ(program.unit_names, (std::vector<std::string>{"main", "lib"}));

  std::vector<std::tuple<uint32_t, const trv_source_unit*, uint32_t, uint32_t>> positions;
  for (const auto& [offset, token] : program.root->positions) {
    positions.emplace_back(offset, token.unit, token.line, token.column);
  }
  EXPECT_EQ(positions,
            (decltype(positions){
                {0, &main, 1, 4}, {2, &lib, 1, 2}, {4, nullptr, 0, 0}, {5, &lib, 2, 0}}));
}

TEST_F(Assembler, RawBytesAssembleEvenWhenBroken) {
  const assembled_program program = assemble(R"(
.block main global
  .root
  none
  .bytes 1 0 0 0 9 0 0 0   ; load_local 9 without locals
  .bytes 0 68 0xFF
  .bytes 8 1 2             ; an int cut short
)");
  EXPECT_EQ(program.root->code,
            (std::vector<uint8_t>{14, 1, 0, 0, 0, 9, 0, 0, 0, 0, 68, 255, 8, 1, 2}));
  // The runtime's own check is what reports such a block.
  EXPECT_TRUE(trv_program_block_check(*program.root));
}

TEST_F(Assembler, MistakesNameFileLineAndColumn) {
  const std::string head = ".block main global\n  .root\n  .local x\n";
  const struct {
    std::string text;
    const char* error;
  } rows[] = {
      {head + "  lod_local 0", "t.tasm:4:3: unknown instruction 'lod_local'"},
      {head + "  load_local", "t.tasm:4:13: expected an index"},
      {head + "  none 5", "t.tasm:4:8: unexpected '5'"},
      {head + "  jump nowhere", "t.tasm:4:8: undefined label 'nowhere'"},
      {head + "  load_local 1", "t.tasm:4:14: slot 1 is out of range: the block has 1 locals"},
      {head + "  load_local y", "t.tasm:4:14: unknown slot 'y'"},
      {head + "  load_global y", "t.tasm:4:15: the root block has no slot 'y'"},
      {head + "  native opencv.missing", "t.tasm:4:10: unresolved native 'opencv.missing'"},
      {head + "  native testfn", "t.tasm:4:10: expected a native function (namespace.name)"},
      {head + "  string \"abc", "t.tasm:4:10: unterminated string"},
      {head + "  string \"a\\qb\"", "t.tasm:4:12: unknown escape \\q"},
      {head + "  function f",
       "t.tasm:4:12: 'f' is not a child of block 'main' (declare it with .child)"},
      {head + "  args_open 65536",
       "t.tasm:4:13: argument count 65536 is out of range: the limit is 65535"},
      {head + "  .cache 70000",
       "t.tasm:4:10: 70000 is out of range: a cache size lies from 0 to 65535"},
      {head + "  inc 300", "t.tasm:4:7: 300 is out of range: a small operand lies from 0 to 255"},
      {head + "  int 9223372036854775808",
       "t.tasm:4:7: 9223372036854775808 is out of range: an integer lies from "
       "-9223372036854775808 to 9223372036854775807"},
      {".unit u parent w\n" + head, "t.tasm:1:16: parent 'w' is not an earlier unit"},
      {head + "  .param p", "t.tasm:4:3: parameters come before captures and locals"},
      {head + "  .local x", "t.tasm:4:10: slot name 'x' is used twice"},
      {head + "  none\n  .child main",
       "t.tasm:5:3: .child belongs before the block's first instruction"},
      {head + "  .root", "t.tasm:4:3: .root is given twice"},
      {head + "  .frobnicate", "t.tasm:4:3: unknown directive '.frobnicate'"},
      {head + "x:\nx:", "t.tasm:5:1: label 'x' is defined twice"},
      {head + "  0004 none", "t.tasm:4:3: offset 0004 is written where the code is at 0"},
      {head + "  default_arg 0",
       "t.tasm:4:15: default_arg 0 names no parameter: the block has 0 parameters"},
      {head + "  @1:0 none",
       "t.tasm:4:3: @LINE:COLUMN needs a source unit (declare one with .unit)"},
      {head + "  .at lib 1:0", "t.tasm:4:7: unknown unit 'lib'"},
      {head + "  .child main", "t.tasm:4:10: block 'main' would be its own ancestor"},
      {head + "  .child other\n.block other\n  .alternative main",
       "t.tasm:6:16: block 'main' would be its own ancestor"},
      {head + "  .child ghost", "t.tasm:4:10: unknown block 'ghost'"},
      {head + ".block stray",
       "t.tasm:4:8: block 'stray' is not reachable from the root block 'main'"},
      {head + ".block main", "t.tasm:4:8: block 'main' is defined twice"},
      {head + "|text",
       "t.tasm:4:1: a source line belongs right after its .unit (or another source line)"},
      {head + ".unit late", "t.tasm:4:1: source units are declared before the first block"},
      {head + "  .break_target\n  none",
       "t.tasm:1:8: break target 'main' must end with an 8-byte instruction: break resumes there"},
      {".block main function\n  .root", "t.tasm:2:3: the root block 'main' must be of kind global"},
      {".block main global\n  none\n",
       "t.tasm:2:1: no root block: mark the global block with .root"},
      {"  none", "t.tasm:1:3: an instruction outside a block (start one with .block NAME)"},
  };
  for (const auto& row : rows) EXPECT_EQ(error_of(row.text), row.error) << row.text;
}

TEST_F(Assembler, ChildGraphDepthIsBounded) {
  auto chain = [](int levels) {
    std::string text = ".block b0 global\n  .root\n";
    for (int i = 1; i < levels; ++i) {
      text += "  .child b" + std::to_string(i) + "\n.block b" + std::to_string(i) + "\n";
    }
    return text;
  };
  EXPECT_EQ(error_of(chain(trvhost::assembler_depth_limit)), "");
  EXPECT_EQ(error_of(chain(trvhost::assembler_depth_limit + 1)),
            "t.tasm:1:8: blocks nest more than 256 levels deep below 'b0'");
}

// Everything a listing must carry, compared field by field; variables by their values, since
// assembling again makes new ones.
void expect_same_program(const assembled_program& a, const assembled_program& b) {
  EXPECT_EQ(a.unit->literals, b.unit->literals);
  EXPECT_EQ(a.unit_names, b.unit_names);
  EXPECT_EQ(a.native_names.size(), b.native_names.size());
  ASSERT_EQ(a.unit->sources.size(), b.unit->sources.size());
  auto unit_index = [](const assembled_program& p, const trv_source_unit* unit) {
    for (size_t i = 0; i < p.unit->sources.size(); ++i) {
      if (p.unit->sources[i].get() == unit) return static_cast<int>(i);
    }
    return -1;
  };
  for (size_t i = 0; i < a.unit->sources.size(); ++i) {
    const trv_source_unit& x = *a.unit->sources[i];
    const trv_source_unit& y = *b.unit->sources[i];
    EXPECT_EQ(x.file_name, y.file_name);
    EXPECT_EQ(x.display_name, y.display_name);
    EXPECT_EQ(x.text, y.text);
    EXPECT_EQ(unit_index(a, x.parent), unit_index(b, y.parent));
  }
  auto constants = [](const std::vector<trvvar_shared>& variables) {
    std::vector<std::string> texts;
    for (const auto& v : variables) texts.push_back(trvhost::constant_text(*v).value_or("?"));
    return texts;
  };
  ASSERT_EQ(a.blocks.size(), b.blocks.size());
  EXPECT_EQ(a.root->name, b.root->name);
  for (size_t i = 0; i < a.blocks.size(); ++i) {
    const trv_program_block& x = *a.blocks[i];
    const trv_program_block& y = *b.blocks[i];
    SCOPED_TRACE(x.name);
    EXPECT_EQ(x.name, y.name);
    std::vector<uint8_t> x_code = x.code;
    std::vector<uint8_t> y_code = y.code;
    for (std::vector<uint8_t>* code : {&x_code, &y_code}) {
      for (size_t at = 0; at + 16 <= code->size(); ++at) {
        if ((*code)[at] == TRV_OP_variable) std::fill_n(code->begin() + at + 8, 8, 0);
      }
    }
    EXPECT_EQ(x_code, y_code);
    EXPECT_EQ(constants(x.immediates), constants(y.immediates));
    EXPECT_EQ(constants(x.block_variables), constants(y.block_variables));
    std::vector<std::string> x_children, y_children;
    for (const auto& c : x.children) x_children.push_back(c->name);
    for (const auto& c : y.children) y_children.push_back(c->name);
    EXPECT_EQ(x_children, y_children);
    EXPECT_EQ(bool(x.alternative), bool(y.alternative));
    if (x.alternative && y.alternative) {
      EXPECT_EQ(x.alternative->name, y.alternative->name);
    }
    EXPECT_EQ(x.slot_flags, y.slot_flags);
    EXPECT_EQ(x.local_count, y.local_count);
    EXPECT_EQ(x.parameter_count, y.parameter_count);
    EXPECT_EQ(x.capture_count, y.capture_count);
    EXPECT_EQ(x.minimum_argument_count, y.minimum_argument_count);
    EXPECT_EQ(x.kind, y.kind);
    EXPECT_EQ(x.break_target, y.break_target);
    EXPECT_EQ(x.exit_position, y.exit_position);
    EXPECT_EQ(x.no_except, y.no_except);
    EXPECT_EQ(x.member_cache.size(), y.member_cache.size());
    ASSERT_EQ(x.positions.size(), y.positions.size());
    for (auto p = x.positions.begin(), q = y.positions.begin(); p != x.positions.end(); ++p, ++q) {
      EXPECT_EQ(p->first, q->first);
      EXPECT_EQ(unit_index(a, p->second.unit), unit_index(b, q->second.unit));
      EXPECT_EQ(p->second.line, q->second.line);
      EXPECT_EQ(p->second.column, q->second.column);
    }
  }
}

TEST_F(Assembler, TheListingAssemblesBackToTheSameProgram) {
  const assembled_program original = assemble(R"(
.unit main file "main.trv" display "main"
|var x = "é\t";
.unit inc file "inc.trv" display "inc" parent main
|helper();
.block main global
  .root
  .local x
  .child add
  .child loop
  .child raw
  .child raw_cache
  .var int -7
  .var float nan
  .var string "q\"\\\x01"
  .cache 1
  @1:0 push_none
  load_local x
  string "é\t"
  get_member "len"
  get_member "len" 0
  has_member "len"
  variable float -0.0
  variable none
  float inf
  int -9223372036854775808
  .at inc 1:0
  call_native opencv.testfn
  native opencv.testfn
  function add
  enter 1
  catch loop
  member 2 7
  index 1
  .at none
  eq 1
top:
  jump_if_true top
  jump end
end:
.block add function
  .param a
  .param b byref
  .capture c
  .local flags 3
  .min_args 1
  .exit done
  .no_except
  .child default_b
  default_arg 1
  load_outer_block_var 1 0
  return
done:
  none
.block default_b
  int 2
.block loop loop
  .break_target
  .alternative default_b
  enter_alt
  break
  pop
.block raw 9
  none
  .bytes 14 19 1 0 0 0 0 0 0   ; none, then a pop with a stray byte
  .bytes 55 4 0 0 0 0 0 0      ; a jump into itself
  @1:3 .bytes 0 68 200
  .at none
  .bytes                       ; no bytes: its position gives way to the next one's
  @1:3 .bytes 55 4 0 0 0 0 0 0
  args_open 2
  .bytes 10 0 0 0 99 0 0 0     ; a literal no unit has
  .bytes 8 1                   ; an int cut short
.block raw_cache
  .cache 1
  get_member "a" 0
  get_member "b" 0             ; one entry for two members fails the block check
  .bytes 14
)");
  const std::string listing = trvhost::list_program(original);
  SCOPED_TRACE(listing);
  const assembled_program again = assemble(listing);
  expect_same_program(original, again);
  EXPECT_EQ(trvhost::list_program(again), listing);
}

TEST_F(Assembler, ListingFormat) {
  const assembled_program program = assemble(R"(
.unit main file "m.trv"
|x = 1
.block main global
  .root
  .local x
  .child f
  @1:0 push_none
  load_local x
top:
  jump_if_false top
  string "a\"b"
  native opencv.testfn
  .bytes 68
.block f function
  .param n byref
  .min_args 0
)");
  EXPECT_EQ(trvhost::list_program(program), R"(.unit main file "m.trv" display "m.trv"
|x = 1

.block main global
  .root
  .local
  .child f
  .at main 1:0
  0000 push_none
  0001 load_local 0
L9:
  0009 jump_if_false L9
  0017 string "a\"b"
  0025 native opencv.testfn
  0041 .bytes 68

.block f function
  .param byref
  .min_args 0
)");
  // A trace names a native by its definition and shows what starts no instruction.
  const trv_program_block& main = *program.root;
  EXPECT_EQ(trvhost::format_instruction(main, 25), "0025 native testfn");
  EXPECT_EQ(trvhost::format_instruction(main, 41), "0041 .bytes 68");
  EXPECT_EQ(trvhost::format_instruction(main, 42), "0042 (end of code)");
}

}  // namespace

TEST_F(Assembler, ClassesListBackWithTheirTablesAndAccessingClasses) {
  const assembled_program original = assemble(R"(
.class Derived parent Base
  .constructor make
  .destructor bye
  .member b 1 private
  .member a 0
  .method get getter
  .method __add__ getter private
  .value tag string "d"
  .value kind class Base
.class Base
  .default base_body
.block main global
  .root
  .var class Derived
  none
  get_member "a" class Derived
  get_member "b"
  index 1 class Base
  variable class Base
.block make function
  .param a
  .local b
  new_instance
.block base_body
  new_instance
.block getter function
  int 1
.block bye function
  none
)");
  const trv_class_def& derived = *original.classes[0];
  EXPECT_EQ(derived.name, "Derived");
  EXPECT_EQ(derived.parent.get(), original.classes[1].get());
  EXPECT_EQ(original.find_block("make")->class_definition, &derived);
  EXPECT_EQ(original.find_block("getter")->class_definition, nullptr);  // only makers belong
  ASSERT_EQ(derived.functions.size(), 4u);
  EXPECT_EQ(derived.functions[0]->type, TRVVAR_FUNCTION);
  EXPECT_EQ(derived.functions[3]->type, TRVVAR_CLASS_DEF);
  // A method under an operator's name also fills that operator's row.
  EXPECT_EQ(derived.operators[TRV_OP_ADD].get(), original.find_block("getter"));
  const std::optional<trv_class_member> b = const_cast<trv_class_def&>(derived).find_member("b");
  ASSERT_TRUE(b);
  EXPECT_TRUE(b->is_private);
  EXPECT_EQ(b->index, 1u);
  const trv_program_block& main = *original.root;
  EXPECT_EQ(trv_operand_pointer<const trv_class_def>(main.code_begin() + 1, 16), &derived);
  EXPECT_EQ(trv_operand_pointer<const trv_class_def>(main.code_begin() + 25, 16), nullptr);

  const std::string listing = trvhost::list_program(original);
  SCOPED_TRACE(listing);
  EXPECT_EQ(listing.substr(0, listing.find("\n.block")), R"(.class Derived parent Base
  .constructor make
  .destructor bye
  .member a 0
  .member b 1 private
  .method get getter
  .method __add__ getter private
  .value tag string "d"
  .value kind class Base

.class Base
  .default base_body
)");
  const assembled_program again = assemble(listing);
  EXPECT_EQ(trvhost::list_program(again), listing);
  EXPECT_EQ(trv_operand_pointer<const trv_class_def>(again.root->code_begin() + 1, 16),
            again.classes[0].get());
}

TEST_F(Assembler, ClassMistakes) {
  const std::string head = ".block main global\n  .root\n";
  const struct {
    std::string text;
    std::string error;
  } rows[] = {
      {head + "  .var class Ghost", "t.tasm:3:14: unknown class 'Ghost' (declare it with .class)"},
      {head + "  get_member \"x\" class", "t.tasm:3:23: expected a class name"},
      {head + "  get_member \"x\" 0 klass A", "t.tasm:3:20: expected class NAME"},
      {".class A\n.class A\n" + head, "t.tasm:2:8: class 'A' is declared twice"},
      {".class A\n  .member x 0\n  .method x f\n" + head,
       "t.tasm:3:11: member 'x' is declared twice"},
      {".class A\n  .default d\n  .member x 1\n" + head + ".block d\n  .local x\n",
       "t.tasm:3:13: member index 1 is out of range: block 'd' has 1 locals"},
      {".class A\n  .default d\n  .default d\n" + head, "t.tasm:3:3: .default is given twice"},
      {head + "  .member x 0", "t.tasm:3:3: .member outside a class (start one with .class NAME)"},
      {".class A\n  none\n" + head,
       "t.tasm:2:3: an instruction inside class 'A' (start a block with .block NAME)"},
      {".class A parent B\n.class B parent A\n" + head,
       "t.tasm:2:17: class 'B' would be its own ancestor"},
      {".class A\n  .method f ghost\n" + head, "t.tasm:2:13: unknown block 'ghost'"},
      {".class A\n  .default d\n.class B\n  .constructor d\n" + head + ".block d\n",
       "t.tasm:4:16: block 'd' makes instances of class 'A' already"},
  };
  for (const auto& row : rows) EXPECT_EQ(error_of(row.text), row.error) << row.text;
}
