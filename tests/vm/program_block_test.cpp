#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "objects/function_def.h"
#include "tests/support/owned_runtime.h"
#include "vm/opcodes.h"
#include "vm/program_block.h"

namespace {

// Appends instructions at their full lengths, zero-filled; the operand setters write into the
// instruction appended last.
class code_writer {
 public:
  explicit code_writer(std::vector<uint8_t>& code) : code_(code) {}

  code_writer& op(uint8_t opcode) {
    last_ = code_.size();
    code_.resize(last_ + trv_opcode_table[opcode].length);
    code_[last_] = opcode;
    return *this;
  }
  code_writer& raw(uint8_t byte) {
    last_ = code_.size();
    code_.push_back(byte);
    return *this;
  }
  code_writer& small(uint8_t value) { return put(1, &value, sizeof value); }
  code_writer& a(int32_t value) { return put(4, &value, sizeof value); }
  code_writer& b(int32_t value) { return put(8, &value, sizeof value); }
  code_writer& pointer(const void* value) { return put(8, &value, sizeof value); }

 private:
  code_writer& put(size_t at, const void* value, size_t size) {
    std::memcpy(code_.data() + last_ + at, value, size);
    return *this;
  }
  std::vector<uint8_t>& code_;
  size_t last_ = 0;
};

// A block with something in every table: 2 locals, 1 block variable, 1 literal, 1 child,
// 1 cache entry, an alternative block, and no minimum argument count.
struct block_under_check {
  trvptr_strong<trv_program_block> block =
      trvptr_strong<trv_program_block>::from(new trv_program_block);
  trvptr_strong<trv_function_def> native =
      trvptr_strong<trv_function_def>::from(new trv_function_def);
  trvvar_shared variable = trvvar_new();
  code_writer code{block->code};

  block_under_check() {
    block->local_count = 2;
    block->block_variables.push_back(trvvar_new());
    block->unit = trvptr_strong<trv_compiled_unit>::from(new trv_compiled_unit);
    block->unit->literals.push_back("name");
    block->children.push_back(trvptr_strong<trv_program_block>::from(new trv_program_block));
    block->member_cache.resize(1);
    block->alternative = trvptr_strong<trv_program_block>::from(new trv_program_block);
    block->natives.push_back(native.get());
    block->immediates.push_back(variable);
  }
};

struct check_case {
  const char* name;
  std::function<void(block_under_check&)> build;
  const char* expected;  // null: sound
};

const check_case check_cases[] = {
    {"every operand inside its table",
     [](block_under_check& t) {
       t.code.op(TRV_OP_load_local).a(1).op(TRV_OP_load_local_flags).a(0);
       t.code.op(TRV_OP_load_block_var).a(0).op(TRV_OP_string).a(0).op(TRV_OP_function).a(0);
       t.code.op(TRV_OP_native)
           .pointer(t.native.get())
           .op(TRV_OP_call_native)
           .pointer(t.native.get());
       t.code.op(TRV_OP_variable).pointer(t.variable.get()).op(TRV_OP_enter_alt);
       t.code.op(TRV_OP_get_member).a(0).b(0).op(TRV_OP_has_member).a(0);
       t.code.op(TRV_OP_enter).a(0).op(TRV_OP_catch).a(0);
       // Indexes the interpreter checks while running are not limited here.
       t.code.op(TRV_OP_load_outer_local).a(7).b(99).op(TRV_OP_load_global).a(99);
       t.code.op(TRV_OP_args_open).a(99).op(TRV_OP_member).a(99);
     },
     nullptr},
    {"empty code", [](block_under_check&) {}, nullptr},
    {"jumps onto instruction starts and the code end",
     [](block_under_check& t) {
       t.code.op(TRV_OP_none).op(TRV_OP_jump_if_false).a(8).op(TRV_OP_jump).a(-8);
       t.code.op(TRV_OP_jump_if_true).a(-17).op(TRV_OP_jump).a(8);
       t.block->exit_position = 33;
     },
     nullptr},
    {"truncated last instruction",
     [](block_under_check& t) {
       t.code.op(TRV_OP_none).op(TRV_OP_pop);
       t.block->code.pop_back();
     },
     "instruction at 1 runs past the code end"},
    {"jump into the middle of an instruction",
     [](block_under_check& t) { t.code.op(TRV_OP_load_local).a(0).op(TRV_OP_jump).a(-4); },
     "jump at 8 lands inside an instruction"},
    {"jump past the code end", [](block_under_check& t) { t.code.op(TRV_OP_jump).a(9); },
     "jump at 0 lands outside the code"},
    {"nothing after an unknown opcode is walked",
     [](block_under_check& t) {
       t.code.op(TRV_OP_jump).a(8).raw(68).op(TRV_OP_load_local).a(99);
       t.code.op(TRV_OP_jump).a(1000);
     },
     nullptr},
    {"jump beyond an unknown opcode",
     [](block_under_check& t) { t.code.op(TRV_OP_jump).a(9).raw(0).op(TRV_OP_none); },
     "jump at 0 lands after the unknown opcode at 8"},
    {"jump onto the code end beyond an unknown opcode",
     [](block_under_check& t) { t.code.op(TRV_OP_jump).a(10).raw(0).op(TRV_OP_none); }, nullptr},
    {"local slot", [](block_under_check& t) { t.code.op(TRV_OP_none).op(TRV_OP_load_local).a(2); },
     "local 2 at 1 is outside the block's 2 locals"},
    {"negative local slot", [](block_under_check& t) { t.code.op(TRV_OP_load_local_flags).a(-1); },
     "local -1 at 0 is outside the block's 2 locals"},
    {"block variable", [](block_under_check& t) { t.code.op(TRV_OP_load_block_var).a(1); },
     "block variable 1 at 0 is outside the block's 1 block variables"},
    {"literal", [](block_under_check& t) { t.code.op(TRV_OP_has_member).a(1); },
     "literal 1 at 0 is outside the unit's 1 literals"},
    {"literal without a unit",
     [](block_under_check& t) {
       t.block->unit.reset();
       t.code.op(TRV_OP_string).a(0);
     },
     "literal 0 at 0 has no unit"},
    {"child", [](block_under_check& t) { t.code.op(TRV_OP_catch).a(1); },
     "child 1 at 0 is outside the block's 1 children"},
    {"null child",
     [](block_under_check& t) {
       t.block->children[0].reset();
       t.code.op(TRV_OP_enter).a(0);
     },
     "child 0 at 0 is null"},
    {"member cache entry", [](block_under_check& t) { t.code.op(TRV_OP_get_member).a(0).b(1); },
     "cache entry 1 at 0 is outside the block's 1 cache entries"},
    {"sites sharing a cache entry for one member",
     [](block_under_check& t) {
       t.code.op(TRV_OP_get_member).a(0).b(0).op(TRV_OP_get_member).b(0);
     },
     nullptr},
    {"a cache entry serving two members",
     [](block_under_check& t) {
       t.block->unit->literals.push_back("other");
       t.code.op(TRV_OP_get_member).a(0).b(0).op(TRV_OP_get_member).a(1).b(0);
     },
     "cache entry 0 at 24 serves another member or accessing class too"},
    {"native definition", [](block_under_check& t) { t.code.op(TRV_OP_call_native); },
     "native definition at 0 is null"},
    {"variable", [](block_under_check& t) { t.code.op(TRV_OP_variable); }, "variable at 0 is null"},
    {"variable the block does not keep",
     [](block_under_check& t) { t.code.op(TRV_OP_none).op(TRV_OP_variable).pointer(&t.code); },
     "variable at 1 is not one of the block's"},
    {"native definition the block does not keep",
     [](block_under_check& t) { t.code.op(TRV_OP_native).pointer(t.block.get()); },
     "native definition at 0 is not one of the block's"},
    {"alternative block",
     [](block_under_check& t) {
       t.block->alternative.reset();
       t.code.op(TRV_OP_enter_alt);
     },
     "alternative block at 0 is null"},
    {"default argument with its default block",
     [](block_under_check& t) {
       t.block->minimum_argument_count = 1;
       t.code.op(TRV_OP_default_arg).small(1);
     },
     nullptr},
    {"default argument below the minimum",
     [](block_under_check& t) {
       t.block->minimum_argument_count = 1;
       t.code.op(TRV_OP_default_arg).small(0);
     },
     "default argument 0 at 0 is below the minimum argument count 1"},
    {"default argument without a default block",
     [](block_under_check& t) {
       t.block->local_count = 3;
       t.block->minimum_argument_count = 1;
       t.code.op(TRV_OP_default_arg).small(2);
     },
     "child 1 at 0 is outside the block's 1 children"},
    {"default argument without a minimum",
     [](block_under_check& t) { t.code.op(TRV_OP_default_arg).small(0); },
     "default argument 0 at 0 needs a minimum argument count"},
    {"default argument beyond the locals",
     [](block_under_check& t) { t.code.op(TRV_OP_default_arg).small(2); },
     "local 2 at 0 is outside the block's 2 locals"},
    {"exit position inside an instruction",
     [](block_under_check& t) {
       t.code.op(TRV_OP_pop);
       t.block->exit_position = 1;
     },
     "exit position 1 lands inside an instruction"},
    {"break target ending in an 8-byte instruction",
     [](block_under_check& t) {
       t.code.op(TRV_OP_none).op(TRV_OP_jump).a(-1);
       t.block->break_target = 1;
     },
     nullptr},
    {"break target whose last 8 bytes are not one instruction",
     [](block_under_check& t) {
       t.code.op(TRV_OP_pop).op(TRV_OP_none).op(TRV_OP_none);
       t.block->break_target = 1;
     },
     "break target does not end with an 8-byte instruction"},
    {"slot flags for some locals only", [](block_under_check& t) { t.block->slot_flags.resize(1); },
     "block has 1 slot flags for 2 locals"},
    {"slot flags for every local", [](block_under_check& t) { t.block->slot_flags.resize(2); },
     nullptr},
    {"too few locals for parameters and captures",
     [](block_under_check& t) {
       t.block->parameter_count = 1;
       t.block->capture_count = 2;
     },
     "block has 2 locals for 1 parameters and 2 captures"},
};

TEST(ProgramBlockCheck, FindsTheFirstFaultOrPassesTheBlock) {
  owned_runtime owned;
  for (const check_case& c : check_cases) {
    SCOPED_TRACE(c.name);
    block_under_check t;
    c.build(t);
    const std::optional<std::string> reason = trv_program_block_check(*t.block);
    if (c.expected == nullptr) {
      EXPECT_EQ(reason, std::nullopt);
    } else {
      EXPECT_EQ(reason, std::optional<std::string>(c.expected));
    }
  }
}

TEST(ProgramBlockCheck, TheResultIsKeptFromTheFirstCheck) {
  owned_runtime owned;
  block_under_check sound;
  sound.code.op(TRV_OP_load_local).a(0);
  EXPECT_EQ(sound.block->check_result(), nullptr);
  sound.block->local_count = 0;
  EXPECT_EQ(sound.block->check_result(), nullptr);

  block_under_check faulty;
  faulty.code.op(TRV_OP_load_local).a(5);
  const std::string* reason = faulty.block->check_result();
  ASSERT_NE(reason, nullptr);
  EXPECT_EQ(*reason, "local 5 at 0 is outside the block's 2 locals");
  EXPECT_EQ(faulty.block->check_result(), reason);
}

TEST(SourceUnit, LinesAreSplitAtLineEnds) {
  trv_source_unit unit;
  unit.text = "first\r\n\nthird\rx\nlast";
  EXPECT_EQ(unit.line_text(1), "first");
  EXPECT_EQ(unit.line_text(2), "");
  EXPECT_EQ(unit.line_text(3), "third\rx");
  EXPECT_EQ(unit.line_text(4), "last");
  EXPECT_EQ(unit.line_text(5), std::nullopt);
  EXPECT_EQ(unit.line_text(0), std::nullopt);

  unit.text = "only\n";
  EXPECT_EQ(unit.line_text(1), "only");
  EXPECT_EQ(unit.line_text(2), std::nullopt);
  unit.text = "";
  EXPECT_EQ(unit.line_text(1), std::nullopt);
}

TEST(ProgramBlock, AnOffsetIsCoveredByThePositionAtOrBeforeIt) {
  trv_source_unit unit;
  trv_program_block block;
  EXPECT_FALSE(block.token_at(0));
  block.positions[4] = {&unit, 2, 3};
  block.positions[12] = {&unit, 5, 0};
  EXPECT_FALSE(block.token_at(3));
  EXPECT_EQ(block.token_at(4)->line, 2u);
  EXPECT_EQ(block.token_at(11)->line, 2u);
  EXPECT_EQ(block.token_at(12)->line, 5u);
  EXPECT_EQ(block.token_at(0xFFFFFFFFu)->line, 5u);
}

}  // namespace
