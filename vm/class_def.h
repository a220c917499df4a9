#pragma once

// Class definitions: what the compiler makes of a class written in script code. A definition
// names the class, maps member names to members (its symbol table), holds the function table
// (methods and class-level values by member index), one operator method per row of
// trv_operator_names, the destructor, the blocks a call of the class runs (its constructor, or
// its default block), the object each instance keeps alive (its origin) and the class it
// derives from. The program that defines a class keeps it and the blocks it names; the blocks
// of a class point back at it without a count.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "glue/object_ptr.h"
#include "objects/script_class.h"
#include "values/operators.h"
#include "values/var.h"
#include "vm/program_block.h"

class trv_class_def : public trv_class_shape {
 public:
  std::string name;
  trvptr_weak<trv_class_def> parent;  // the class this one derives from; empty for none
  trvptr_strong<trv_program_block_symbol_table> symbols;  // created on first use
  std::vector<trvvar_shared> functions;                   // by member index
  std::array<trvptr_strong<trv_program_block>, trv_operator_names.size()> operators;
  trvptr_strong<trv_program_block> destructor;
  trvptr_strong<trv_program_block> constructor;
  trvptr_strong<trv_program_block> default_block;  // called when there is no constructor
  trvptr_strong<trvobject_base> origin;
  // The blocks of the function table's methods (function values count them only weakly).
  std::vector<trvptr_strong<trv_program_block>> methods;

  const std::string& class_name() const override { return name; }
  std::optional<trv_class_member> find_member(std::string_view member) override;
  std::vector<trvvar_shared>& function_table() override { return functions; }
  trvptr_strong<trvobject_base> origin_object() const override { return origin; }
  bool has_destructor() const override { return static_cast<bool>(destructor); }

  trv_program_block_symbol_table& symbol_table();
  // Adds a member to the symbol table; a method also fills the operator row of its name.
  void add_member(std::string_view member, const trv_symbol_entry& entry);
  // Whether code of class `accessing` may read the private members of this class: it is this
  // class, derives from it, or is one of its ancestors. Code outside any class (null) may not.
  bool grants_private_access(const trv_class_def* accessing) const;
};

// The definition of a live instance's class; null when the class is gone.
inline trv_class_def* trv_class_def_of(const trv_class& instance) {
  return static_cast<trv_class_def*>(instance.definition());
}
