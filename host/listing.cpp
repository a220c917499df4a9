#include "host/listing.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <set>
#include <vector>

#include "values/payloads.h"
#include "values/var_type.h"
#include "vm/opcodes.h"
#include "vm/program_block.h"

namespace trvhost {

namespace {

// Raw bytes go at most this many to a line.
constexpr size_t bytes_per_line = 16;

std::string offset_text(uint32_t offset) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u", offset);
  return text;
}

std::string label_text(int64_t target) { return "L" + std::to_string(target); }

bool whole_instruction(const trv_program_block& block, uint32_t offset) {
  const trv_opcode_info& info = trv_opcode_table[block.code[offset]];
  return !info.mnemonic.empty() && info.length <= block.code.size() - offset;
}

std::string bytes_text(const uint8_t* begin, const uint8_t* end) {
  std::string text = ".bytes";
  for (const uint8_t* byte = begin; byte != end; ++byte) text += " " + std::to_string(*byte);
  return text;
}

std::string literal_text(const trv_program_block& block, int32_t index) {
  if (!block.unit || index < 0 || static_cast<size_t>(index) >= block.unit->literals.size()) {
    return std::to_string(index);
  }
  return quoted_text(block.unit->literals[static_cast<size_t>(index)]);
}

// By name when the name reads back as this entry (its first in the table), else by index.
std::string child_text(const trv_program_block& block, int32_t index) {
  const auto& children = block.children;
  if (index < 0 || static_cast<size_t>(index) >= children.size() || !children[index]) {
    return std::to_string(index);
  }
  const trv_program_block* child = children[static_cast<size_t>(index)].get();
  const auto first = std::find_if(children.begin(), children.end(),
                                  [&](const auto& entry) { return entry->name == child->name; });
  if (first - children.begin() != index) return std::to_string(index);
  return child->name;
}

std::string native_text(const trv_function_def* definition, const native_name_map* natives) {
  if (definition == nullptr) return "null";
  if (natives != nullptr) {
    auto found = natives->find(definition);
    if (found != natives->end()) return found->second;
  }
  return std::string(definition->name);
}

std::string variable_text(const trvvar* variable) {
  if (variable == nullptr) return "null";
  const std::optional<std::string> constant = constant_text(*variable);
  return constant ? *constant : "<" + std::string(trvvar_type_name(variable->type)) + ">";
}

// " class NAME" for an accessing class, nothing for none.
std::string class_text(const uint8_t* ip, int offset) {
  const trv_class_def* accessing = trv_operand_pointer<const trv_class_def>(ip, offset);
  return accessing != nullptr ? " class " + accessing->name : std::string();
}

std::string operand_text(const trv_program_block& block, uint32_t offset,
                         const native_name_map* natives) {
  const uint8_t* ip = block.code_begin() + offset;
  // Operand A exists only in instructions of 8 bytes or more.
  const int32_t a = trv_opcode_table[ip[0]].length >= 8 ? trv_operand_a(ip) : 0;
  switch (trv_opcode_table[ip[0]].operands) {
    case TRV_OPERANDS_NONE:
      return "";
    case TRV_OPERANDS_SMALL:
      return std::to_string(trv_operand_small(ip));
    case TRV_OPERANDS_SMALL_CLASS:
      return std::to_string(trv_operand_small(ip)) + class_text(ip, 8);
    case TRV_OPERANDS_A:
      return std::to_string(a);
    case TRV_OPERANDS_AB:
      return std::to_string(a) + " " + std::to_string(trv_operand_b(ip));
    case TRV_OPERANDS_A_FLAG:
      return std::to_string(a) + " " + std::to_string(static_cast<uint32_t>(trv_operand_b(ip)));
    case TRV_OPERANDS_LITERAL:
      return literal_text(block, a);
    case TRV_OPERANDS_CHILD:
      return child_text(block, a);
    case TRV_OPERANDS_JUMP:
      return label_text(int64_t{offset} + a);
    case TRV_OPERANDS_INT:
      return std::to_string(trv_operand_int(ip));
    case TRV_OPERANDS_FLOAT:
      return float_text(trv_operand_float(ip));
    case TRV_OPERANDS_NATIVE:
      return native_text(trv_operand_pointer<const trv_function_def>(ip), natives);
    case TRV_OPERANDS_VARIABLE:
      return variable_text(trv_operand_pointer<const trvvar>(ip));
    case TRV_OPERANDS_MEMBER:
      return literal_text(block, a) + " " + std::to_string(trv_operand_b(ip)) + class_text(ip, 16);
  }
  return "";
}

std::string slot_text(uint8_t flags) {
  if (flags == 0) return "";
  if (flags == TRVVAR_FLAG_BY_REFERENCE) return " byref";
  return " flags " + std::to_string(flags);
}

// One block as text. Its code is cut into items: whole instructions and single bytes that
// start none. An instruction is written in ordinary syntax when that syntax reads back as the
// same bytes, else as `.bytes`; every offset a label or position needs starts an item.
class block_lister {
 public:
  block_lister(const assembled_program& program, const trv_program_block& block)
      : program_(program), block_(block), size_(static_cast<uint32_t>(block.code.size())) {
    cut_items();
    for (const item& i : items_) starts_.insert(i.begin);
    starts_.insert(size_);
    for (item& i : items_) i.ordinary = i.instruction && ordinary(i.begin);
    if (block_.exit_position != size_ && starts_.count(block_.exit_position)) {
      labels_.insert(block_.exit_position);
    }
  }

  void write(std::string& out) const {
    header(out);
    for (size_t at = 0; at < items_.size();) at = write_item(out, at);
    if (labels_.count(size_)) out += label_text(size_) + ":\n";
    if (raw_in_ordinary_syntax()) out += "  .bytes\n";
  }

 private:
  struct item {
    uint32_t begin;
    uint32_t end;
    bool instruction;
    bool ordinary = false;
  };

  void cut_items() {
    for (uint32_t at = 0; at < size_;) {
      const bool whole = whole_instruction(block_, at);
      const uint32_t length = whole ? trv_opcode_table[block_.code[at]].length : 1;
      items_.push_back({at, at + length, whole});
      at += length;
    }
    // An instruction covering an offset a label or position needs is cut into single bytes.
    std::set<uint32_t> needed;
    for (const auto& entry : block_.positions) needed.insert(entry.first);
    needed.insert(block_.exit_position);
    for (const item& i : items_) {
      const uint8_t* ip = block_.code_begin() + i.begin;
      if (i.instruction && trv_opcode_table[ip[0]].operands == TRV_OPERANDS_JUMP) {
        needed.insert(static_cast<uint32_t>(i.begin + trv_operand_a(ip)));
      }
    }
    std::vector<item> cut;
    for (const item& i : items_) {
      auto inside = needed.upper_bound(i.begin);
      if (!i.instruction || inside == needed.end() || *inside >= i.end) {
        cut.push_back(i);
        continue;
      }
      for (uint32_t at = i.begin; at < i.end; ++at) cut.push_back({at, at + 1, false});
    }
    items_ = std::move(cut);
  }

  // A block that fails the block check assembled because `.bytes` wrote part of it, which skips
  // the check. When all of its code reads back in ordinary syntax, its listing ends with a
  // `.bytes` line without bytes, which keeps it raw.
  bool raw_in_ordinary_syntax() const {
    return std::all_of(items_.begin(), items_.end(), [](const item& i) { return i.ordinary; }) &&
           trv_program_block_check(block_).has_value();
  }

  bool ordinary(uint32_t offset) {
    if (ordinary_operand_problem(block_, *program_.root, offset)) return false;
    const uint8_t* ip = block_.code_begin() + offset;
    switch (trv_opcode_table[ip[0]].operands) {
      case TRV_OPERANDS_JUMP: {
        const uint32_t target = static_cast<uint32_t>(offset + trv_operand_a(ip));
        if (!starts_.count(target)) return false;
        labels_.insert(target);
        return true;
      }
      case TRV_OPERANDS_NATIVE:
        return program_.native_names.count(trv_operand_pointer<const trv_function_def>(ip)) > 0;
      case TRV_OPERANDS_VARIABLE: {
        const trvvar* variable = trv_operand_pointer<const trvvar>(ip);
        const bool held = std::any_of(block_.immediates.begin(), block_.immediates.end(),
                                      [&](const trvvar_shared& v) { return v.get() == variable; });
        return held && constant_text(*variable);
      }
      case TRV_OPERANDS_FLOAT: {
        const double value = trv_operand_float(ip);
        return std::bit_cast<uint64_t>(*parse_float_text(float_text(value))) ==
               std::bit_cast<uint64_t>(value);
      }
      default:
        return true;
    }
  }

  void header(std::string& out) const {
    out += ".block " + block_.name;
    if (block_.kind != 0) out += " " + block_kind_text(block_.kind);
    out += "\n";
    if (&block_ == program_.root.get()) out += "  .root\n";
    for (uint32_t slot = 0; slot < block_.local_count; ++slot) {
      const char* role = slot < block_.parameter_count                          ? "param"
                         : slot < block_.parameter_count + block_.capture_count ? "capture"
                                                                                : "local";
      const uint8_t flags = slot < block_.slot_flags.size() ? block_.slot_flags[slot] : 0;
      out += std::string("  .") + role + slot_text(flags) + "\n";
    }
    if (block_.minimum_argument_count != trv_no_minimum) {
      out += "  .min_args " + std::to_string(block_.minimum_argument_count) + "\n";
    }
    if (labels_.count(block_.exit_position) && block_.exit_position != size_) {
      out += "  .exit " + label_text(block_.exit_position) + "\n";
    }
    if (block_.break_target) out += "  .break_target\n";
    if (block_.no_except) out += "  .no_except\n";
    if (block_.alternative) out += "  .alternative " + block_.alternative->name + "\n";
    for (const auto& child : block_.children) out += "  .child " + child->name + "\n";
    for (const trvvar_shared& variable : block_.block_variables) {
      out += "  .var " + variable_text(variable.get()) + "\n";
    }
    if (!block_.member_cache.empty()) {
      out += "  .cache " + std::to_string(block_.member_cache.size()) + "\n";
    }
  }

  void position(std::string& out, uint32_t offset) const {
    auto found = block_.positions.find(offset);
    if (found == block_.positions.end()) return;
    const trv_source_token& token = found->second;
    const auto& sources = program_.unit->sources;
    const auto unit = std::find_if(sources.begin(), sources.end(),
                                   [&](const auto& u) { return u.get() == token.unit; });
    if (unit == sources.end()) {
      out += "  .at none\n";
      return;
    }
    out += "  .at " + program_.unit_names[static_cast<size_t>(unit - sources.begin())] + " " +
           std::to_string(token.line) + ":" + std::to_string(token.column) + "\n";
  }

  // Writes the item at `at` (with the raw bytes that follow it on the same line); returns the
  // index of the next item to write.
  size_t write_item(std::string& out, size_t at) const {
    const item& first = items_[at];
    if (labels_.count(first.begin)) out += label_text(first.begin) + ":\n";
    position(out, first.begin);
    if (first.ordinary) {
      out += "  " + format_instruction(block_, first.begin, &program_.native_names) + "\n";
      return at + 1;
    }
    size_t next = at + 1;
    uint32_t end = first.end;
    if (!first.instruction) {
      while (next < items_.size() && !items_[next].instruction &&
             end - first.begin < bytes_per_line && !labels_.count(end) &&
             !block_.positions.count(end)) {
        end = items_[next++].end;
      }
    }
    out += "  " + offset_text(first.begin) + " " +
           bytes_text(block_.code_begin() + first.begin, block_.code_begin() + end) + "\n";
    return next;
  }

  const assembled_program& program_;
  const trv_program_block& block_;
  const uint32_t size_;
  std::vector<item> items_;
  std::set<uint32_t> starts_;
  std::set<uint32_t> labels_;
};

void list_unit(std::string& out, const std::string& name, const trv_source_unit& unit,
               const assembled_program& program) {
  out += ".unit " + name + " file " + quoted_text(unit.file_name) + " display " +
         quoted_text(unit.display_name);
  const auto& sources = program.unit->sources;
  for (size_t i = 0; i < sources.size(); ++i) {
    if (sources[i].get() == unit.parent) out += " parent " + program.unit_names[i];
  }
  out += "\n";
  std::string_view text = unit.text;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    out += "|" + std::string(text.substr(0, end)) + "\n";
    text.remove_prefix(std::min(end + 1, text.size()));
  }
}

std::string private_text(uint8_t is_private) { return is_private ? " private" : ""; }

// A class with its blocks, its members by index and its function table in order.
void list_class(std::string& out, const trv_class_def& definition) {
  out += ".class " + definition.name;
  if (const trv_class_def* parent = definition.parent.get()) out += " parent " + parent->name;
  out += "\n";
  if (definition.constructor) out += "  .constructor " + definition.constructor->name + "\n";
  if (definition.default_block) out += "  .default " + definition.default_block->name + "\n";
  if (definition.destructor) out += "  .destructor " + definition.destructor->name + "\n";
  if (!definition.symbols) return;
  std::vector<std::pair<std::string, trv_symbol_entry>> members;
  std::vector<std::pair<std::string, trv_symbol_entry>> functions(definition.functions.size());
  for (const auto& [name, entry] : definition.symbols->ordered) {
    if (!entry.is_method) {
      members.emplace_back(name, entry);
    } else if (entry.index < functions.size()) {
      functions[entry.index] = {name, entry};
    }
  }
  std::stable_sort(members.begin(), members.end(),
                   [](const auto& a, const auto& b) { return a.second.index < b.second.index; });
  for (const auto& [name, entry] : members) {
    out += "  .member " + name + " " + std::to_string(entry.index) +
           private_text(entry.is_private) + "\n";
  }
  for (size_t i = 0; i < functions.size(); ++i) {
    const trvvar& value = *definition.functions[i];
    const auto& [name, entry] = functions[i];
    if (value.type == TRVVAR_FUNCTION) {
      const trv_program_block* block = value.payload.function_payload->definition.get();
      out += "  .method " + name + " " + (block != nullptr ? block->name : "?");
    } else {
      out += "  .value " + name + " " + constant_text(value).value_or("none");
    }
    out += private_text(entry.is_private) + "\n";
  }
}

}  // namespace

std::string list_program(const assembled_program& program) {
  std::string out;
  const auto& sources = program.unit->sources;
  for (size_t i = 0; i < sources.size(); ++i) {
    list_unit(out, program.unit_names[i], *sources[i], program);
  }
  for (const auto& definition : program.classes) {
    if (!out.empty()) out += "\n";
    list_class(out, *definition);
  }
  for (const auto& block : program.blocks) {
    if (!out.empty()) out += "\n";
    block_lister(program, *block).write(out);
  }
  return out;
}

std::string format_instruction(const trv_program_block& block, uint32_t offset,
                               const native_name_map* natives) {
  const uint8_t* code = block.code_begin();
  if (offset >= block.code.size()) return offset_text(offset) + " (end of code)";
  if (!whole_instruction(block, offset)) {
    const bool known = !trv_opcode_table[code[offset]].mnemonic.empty();
    return offset_text(offset) + " " +
           bytes_text(code + offset, known ? block.code_end() : code + offset + 1);
  }
  const std::string operands = operand_text(block, offset, natives);
  std::string text =
      offset_text(offset) + " " + std::string(trv_opcode_table[code[offset]].mnemonic);
  if (!operands.empty()) text += " " + operands;
  return text;
}

}  // namespace trvhost
