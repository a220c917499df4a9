// Runs arbitrary instruction streams through the interpreter and the host's task loop. The
// input is a small header and the code of two blocks: the global block and a function it can
// reach as child 0 (which reaches a leaf block as its child 0). Only the pointers an
// instruction carries are not taken from the input, since a compiler writes real addresses
// there: each is replaced by one of a few live natives or variables, picked by the input's
// value. A block the check refuses must be refused with a runtime error, and everything else
// must run to its end or to a runtime error without a sanitizer report; an instruction budget
// stops streams that loop forever.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "fuzz/fuzz_host.h"
#include "host/runtime_driver.h"
#include "host/standard_classes.h"
#include "host/task_loop.h"
#include "objects/function_def.h"
#include "objects/namespace.h"
#include "stdlib/json/json_methods.h"
#include "stdlib/json/json_values.h"
#include "stdlib/string/std_string.h"
#include "values/convert.h"
#include "vm/interpreter.h"
#include "vm/opcodes.h"
#include "vm/task.h"

namespace {

trvvar_shared convert_all(trv_vm_context&, std::vector<trvvar_shared>& args) {
  for (trvvar_shared& arg : args) {
    if (arg) trvvar_string_value(*arg);
  }
  return args.empty() ? trvvar_shared() : args.front();
}

trvvar_shared throw_error(trv_vm_context&, std::vector<trvvar_shared>&) {
  throw std::runtime_error("thrown by a native");
}

// Never freed: the natives live as long as the process.
trv_function_def* native(std::string_view name, trv_native_callback callback, uint32_t min,
                         uint32_t max, uint32_t marker) {
  auto* definition = new trv_function_def();
  definition->name = name;
  definition->native_callback = std::move(callback);
  definition->min_params = min;
  definition->max_params = max;
  definition->native_marker = marker;
  trv_pin(*definition);
  return definition;
}

// The natives and constructors a pointer operand may name; they outlive every input.
const std::vector<trv_function_def*>& natives() {
  static const auto* const all = [] {
    trvhost::register_standard_classes();
    auto* list = new std::vector<trv_function_def*>{
        native("convert", convert_all, 0, trv_any_param_count, 0),
        native("convert_deref", convert_all, 1, 2, TRV_NATIVE_DEREF_ARGUMENTS),
        native("throw", throw_error, 0, 1, 0),
        native("empty", nullptr, 0, 0, 0),
    };
    static trv_namespace* const std_namespace = new trv_namespace();
    trv_std_string::populate_namespace(*std_namespace);
    populate_std_json_namespace(*std_namespace);
    for (trv_function_def* definition : std_namespace->function_definitions) {
      list->push_back(definition);
    }
    return list;
  }();
  return *all;
}

class input {
 public:
  input(const uint8_t* bytes, size_t size) : at_(bytes), end_(bytes + size) {}
  uint8_t byte() { return at_ < end_ ? *at_++ : 0; }
  std::vector<uint8_t> rest(size_t most) {
    const size_t count = std::min(most, static_cast<size_t>(end_ - at_));
    std::vector<uint8_t> taken(at_, at_ + count);
    at_ += count;
    return taken;
  }
  size_t left() const { return static_cast<size_t>(end_ - at_); }

 private:
  const uint8_t* at_;
  const uint8_t* end_;
};

template <class T>
void write_pointer(uint8_t* ip, const T* pointer) {
  std::memcpy(ip + 8, &pointer, sizeof pointer);
}

// Gives every whole native or variable instruction a live pointer, chosen by the byte the
// input has where the pointer goes; the block lists the natives it names, as compiled code does.
void patch_pointers(trv_program_block& block) {
  const auto& definitions = natives();
  std::vector<uint8_t>& code = block.code;
  for (size_t at = 0; at < code.size();) {
    const trv_opcode_info& info = trv_opcode_table[code[at]];
    if (info.mnemonic.empty() || info.length > code.size() - at) return;
    uint8_t* ip = code.data() + at;
    if (info.operands == TRV_OPERANDS_NATIVE) {
      const trv_function_def* definition = definitions[ip[8] % definitions.size()];
      write_pointer(ip, definition);
      block.natives.push_back(definition);
    } else if (info.operands == TRV_OPERANDS_VARIABLE) {
      write_pointer(ip, block.immediates[ip[8] % block.immediates.size()].get());
    }
    at += info.length;
  }
}

trvptr_strong<trv_program_block> new_block(const trvptr_strong<trv_compiled_unit>& unit,
                                           uint32_t kind) {
  auto block = trvptr_strong<trv_program_block>::from_new(new trv_program_block());
  block->unit = unit;
  block->kind = kind;
  block->member_cache.resize(2);
  return block;
}

trvvar_shared int_variable(int64_t value) {
  trvvar_shared variable = trvvar_new();
  trvvar_set_int(*variable, value);
  return variable;
}

trvvar_shared string_variable(std::string_view text) {
  trvvar_shared variable = trvvar_new();
  trvvar_set_string(*variable, text);
  return variable;
}

trvvar_shared json_variable() {
  trvvar_shared variable = trvvar_new();
  trv_std_json& container = trvvar_get_or_make_json(*variable);
  trvvar_set_int(*container.add_keyless(), 1);
  trvvar_set_string(*container.add_keyless(), "two");
  return variable;
}

// Variables for instruction 3 (block variables) and 13 (immediates) of a block.
void give_variables(trv_program_block& block) {
  block.block_variables = {int_variable(3), string_variable("text"), json_variable()};
  block.immediates = {int_variable(-1), string_variable("length"), json_variable()};
}

// Code lengths, counts and flags come from the input; source positions cover the first code
// bytes so that errors print excerpts.
struct program {
  trvptr_strong<trv_compiled_unit> unit;
  trvptr_strong<trv_program_block> root;
};

program build(input& in) {
  program p;
  p.unit = trvptr_strong<trv_compiled_unit>::from_new(new trv_compiled_unit());
  p.unit->literals = {"length", "a", "", "size"};
  p.unit->sources.push_back(std::make_unique<trv_source_unit>());
  trv_source_unit& source = *p.unit->sources.back();
  source.file_name = source.display_name = "fuzz.trv";
  source.text = "  first line\nsecond\n";

  const uint8_t locals_byte = in.byte();
  const uint8_t root_locals = locals_byte % 8;
  const uint8_t function_shape = in.byte();
  const size_t root_size = in.byte() * 2u;

  p.root = new_block(p.unit, TRV_BLOCK_GLOBAL);
  p.root->local_count = root_locals;
  p.root->code = in.rest(root_size);
  p.root->positions[0] = {&source, 1, 2};
  p.root->positions[4] = {&source, 2, 7};

  auto function = new_block(p.unit, function_shape & 1 ? TRV_BLOCK_FUNCTION : TRV_BLOCK_LOOP);
  function->parameter_count = (function_shape >> 1) & 3;
  function->capture_count = (function_shape >> 3) & 1;
  // Now and then fewer slots than its parameters and captures take, as a broken compiler
  // could hand over: the block must be refused without anything stored past its slots.
  const uint32_t declared = function->parameter_count + function->capture_count;
  function->local_count = locals_byte & 8 ? (declared > 0 ? declared - 1 : 0) : declared + 2;
  function->minimum_argument_count = function_shape & 0x40 ? 1 : trv_no_minimum;
  function->slot_flags.assign(function->local_count, 0);
  if (function_shape & 0x20 && !function->slot_flags.empty()) {
    function->slot_flags[0] = TRVVAR_FLAG_BY_REFERENCE;
  }
  function->no_except = (function_shape >> 7) & 1;
  function->break_target = (function_shape >> 4) & 1;
  function->code = in.rest(in.left());
  function->exit_position = static_cast<uint32_t>(function->code.size());
  function->positions[0] = {&source, 2, 0};

  auto leaf = new_block(p.unit, TRV_BLOCK_LOOP);
  leaf->code = {TRV_OP_return};
  leaf->exit_position = 1;
  leaf->positions[0] = {nullptr, 1, 0};
  function->children = {leaf, leaf};
  function->alternative = leaf;
  p.root->children = {function, leaf};
  p.root->alternative = leaf;

  for (trv_program_block* block : {p.root.get(), function.get(), leaf.get()}) {
    give_variables(*block);
    patch_pointers(*block);
  }
  return p;
}

}  // namespace

// One runtime serves every input; what an input leaves in the return rings goes back before
// the next one.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  natives();
  static trvhost::runtime_driver* const driver = [] {
    auto* made = new trvhost::runtime_driver("fuzz");
    made->take_ownership();
    return made;
  }();
  {
    input in(bytes, size);
    program p = build(in);
    fuzz_host::start_instruction_budget(20000);  // instructions one input may execute
    {
      trvhost::task_loop loop(*driver);
      loop.run(trv_task_for_block(p.root));
    }
    trv_set_trace_hook(nullptr);
  }
  driver->service();
  return 0;
}
