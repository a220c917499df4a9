#include "vm/class_runtime.h"

#include <algorithm>
#include <span>
#include <utility>

#include "glue/thread_local.h"
#include "objects/script_class.h"
#include "values/assign.h"
#include "values/class_hooks.h"
#include "values/compare.h"
#include "values/convert.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"
#include "vm/call.h"
#include "vm/class_def.h"
#include "vm/opcodes.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

trv_class* instance_of(trvvar& value) {
  if (value.type != TRVVAR_CLASS) return nullptr;
  return value.payload.class_payload->instance.get();
}

// The cache tag of a class: its address, with the low bit set for a method.
uint64_t class_tag(const trv_class_def* definition, bool method) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(definition)) | (method ? 1 : 0);
}

bool is_operator_instruction(uint8_t opcode) {
  return opcode == TRV_OP_neg || (opcode >= TRV_OP_add && opcode <= TRV_OP_bxor) ||
         (opcode >= TRV_OP_eq && opcode <= TRV_OP_lt);
}

std::string hook_class_name(trvvar& value) {
  trv_class* instance = instance_of(value);
  trv_class_def* definition = instance != nullptr ? trv_class_def_of(*instance) : nullptr;
  return definition != nullptr ? definition->name : std::string();
}

trvvar_shared hook_named_member(trvvar& value, std::string_view name) {
  trv_class* instance = instance_of(value);
  return instance != nullptr ? instance->member_by_name(name) : trvvar_new();
}

// Operator method `index` of `operand` called from the frame executing an operator
// instruction: a frame for the method bound to the instance, the argument in its local 0, the
// operand and a result slot pushed, and the caller suspended until the method returns.
bool hook_call_operator(trvvar& operand, int index, trvvar* argument, trv_operator_mode mode) {
  trv_class* instance = instance_of(operand);
  trv_class_def* definition = instance != nullptr ? trv_class_def_of(*instance) : nullptr;
  if (definition == nullptr || index < 0 ||
      static_cast<size_t>(index) >= definition->operators.size()) {
    return false;
  }
  trv_program_block* method = definition->operators[static_cast<size_t>(index)].get();
  trv_task* task = trv_get_thread_local().current_task;
  if (method == nullptr || task == nullptr || task->frames.empty()) return false;
  trv_vm_context& caller = *task->frames.back();
  // Only an operator instruction can resume to take the result; operators that native code
  // applies have no frame to come back to.
  if (!caller.running || caller.instruction_pointer == nullptr ||
      !is_operator_instruction(*caller.instruction_pointer)) {
    return false;
  }
  if (task->frames.size() >= trv_max_frames) {
    trv_runtime_error("Maximum call depth exceeded.");
    return true;
  }
  trv_task* scope = instance->scope().get();
  scope = scope != nullptr ? trv_task_scope_root(scope) : caller.scope;
  trv_vm_context* frame =
      trv_vm_context_create(task, scope, method, method->local_count, instance->bound_pointer());
  frame->argument_count = argument != nullptr ? 1 : 0;
  if (argument != nullptr && method->local_count > 0) {
    trvvar_shared value = trvvar_shared::share(argument);
    trv_call_store_parameter(*frame, 0, value, false);
  }
  task->stack.push_back(trvvar_shared::share(&operand));
  task->stack.push_back(trvvar_new());
  caller.stack_depth += 2;
  task->frames.push_back(frame);
  caller.pending_operator_mode = mode;
  caller.status = 16;
  return true;
}

[[maybe_unused]] const bool hooks_installed = [] {
  trv_class_hooks_installed.class_name = &hook_class_name;
  trv_class_hooks_installed.named_member = &hook_named_member;
  trv_class_hooks_installed.call_operator = &hook_call_operator;
  return true;
}();

}  // namespace

void trv_class_bind_this(trv_vm_context& frame, trvvar& value) {
  trv_class* instance = instance_of(value);
  frame.bound_object =
      instance != nullptr ? instance->bound_pointer() : trvptr_weak<trvobject_base>();
}

trvvar_shared trv_class_this(trv_vm_context& frame) {
  trv_class* instance = trv_class_from_bound(frame.bound_object);
  if (instance == nullptr) return trv_runtime_error("object not valid.");
  return trv_class_new_value(instance);
}

trvvar_shared trv_class_bound_member(trv_vm_context& frame, int64_t index, bool method) {
  trv_class* instance = trv_class_from_bound(frame.bound_object);
  if (instance == nullptr) return trv_runtime_error("class not valid.");
  return instance->member_by_index(index, method);
}

trvvar_shared trv_class_new_instance(trv_vm_context& frame) {
  trv_class_def* definition = frame.block->class_definition;
  if (definition == nullptr) return trv_runtime_error("Invalid class definition.");
  trvptr_weak<trv_task> scope;
  trv_task* task = trv_get_thread_local().current_task;
  if (task != nullptr && !task->frames.empty()) {
    scope = trvptr_weak<trv_task>::from(task->frames.back()->scope);
  } else {
    scope = trvptr_weak<trv_task>::from(frame.scope);
  }
  // The block's slots only: a frame from the pool may keep more from an earlier use.
  const std::span<trvvar_shared> slots =
      std::span<trvvar_shared>(frame.locals)
          .first(std::min<size_t>(frame.block->local_count, frame.locals.size()));
  const trvptr_strong<trv_class> instance = trvptr_strong<trv_class>::from_new(
      new trv_class(trvptr_weak<trv_class_shape>::from(definition), slots, scope));
  return trv_class_new_value(instance.get());
}

trvvar_shared trv_class_get_member(trvvar& value, std::string_view name,
                                   trv_member_cache_entry& cache, const trv_class_def* accessing) {
  trv_class* instance = instance_of(value);
  trv_class_def* definition = instance != nullptr ? trv_class_def_of(*instance) : nullptr;
  if (definition == nullptr) {
    return instance != nullptr ? instance->member_by_name(name) : trvvar_new();
  }
  // A site caches only what it was allowed to read: its accessing class never changes.
  if ((cache.class_tag & ~uint64_t{1}) == class_tag(definition, false)) {
    return instance->member_by_index(cache.index, (cache.class_tag & 1) != 0);
  }
  const std::optional<trv_class_member> member = definition->find_member(name);
  if (!member) {
    return trv_runtime_error("class '", definition->name, "' does not have member '", name, "'");
  }
  if (member->is_private && !definition->grants_private_access(accessing)) {
    return trv_runtime_error("member '", name, "' of class '", definition->name, "' is private");
  }
  cache.class_tag = class_tag(definition, member->is_method);
  cache.index = member->index;
  return instance->member_by_index(member->index, member->is_method);
}

namespace {

bool prepare_cached_method(trv_vm_context& caller, trv_class& instance, trv_class_def& definition,
                           const trv_member_cache_entry& cache, uint32_t argument_count) {
  const std::vector<trvvar_shared>& table = definition.function_table();
  const auto index = static_cast<size_t>(cache.index);
  if (cache.index < 0 || index >= table.size() || table[index]->type != TRVVAR_FUNCTION) {
    return false;
  }
  trv_program_block* block = table[index]->payload.function_payload->definition.get();
  return block != nullptr && trv_call_prepare_bound(caller, *block, instance.scope().get(),
                                                    instance.bound_pointer(), argument_count);
}

}  // namespace

bool trv_class_prepare_method(trv_vm_context& caller, trvvar& value, const uint8_t* site,
                              uint32_t argument_count) {
  trv_program_block& block = *caller.block;
  trv_member_cache_entry& cache = block.member_cache[static_cast<size_t>(trv_operand_b(site))];
  trv_class* instance = instance_of(value);
  trv_class_def* definition = instance != nullptr ? trv_class_def_of(*instance) : nullptr;
  if (definition == nullptr) return false;
  if (cache.class_tag != class_tag(definition, true)) {
    // A site caches only what it was allowed to read: its accessing class never changes.
    const std::string& name = block.unit->literals[static_cast<size_t>(trv_operand_a(site))];
    const std::optional<trv_class_member> member = definition->find_member(name);
    if (!member || !member->is_method ||
        (member->is_private &&
         !definition->grants_private_access(trv_operand_pointer<const trv_class_def>(site, 16)))) {
      return false;
    }
    cache.class_tag = class_tag(definition, true);
    cache.index = member->index;
  }
  return prepare_cached_method(caller, *instance, *definition, cache, argument_count);
}

bool trv_class_key_allowed(trvvar& value, trvvar& key, const trv_class_def* accessing) {
  trv_class* instance = instance_of(value);
  if (instance == nullptr) return true;
  if (key.type == TRVVAR_INT || key.type == TRVVAR_FLOAT) {
    // Indexing would turn the variable into a json container and lose the instance.
    trv_runtime_error("Index out of range!");
    return false;
  }
  trv_class_def* definition = trv_class_def_of(*instance);
  if (definition == nullptr) return true;
  const std::string name = trvvar_string_value(key);
  const std::optional<trv_class_member> member = definition->find_member(name);
  if (member && member->is_private && !definition->grants_private_access(accessing)) {
    trv_runtime_error("member '", name, "' of class '", definition->name, "' is private");
    return false;
  }
  return true;
}

trvvar_shared trv_class_constructor(trv_vm_context& caller, trvvar& callee) {
  trv_class_def* definition =
      static_cast<trv_class_def*>(callee.payload.class_def_payload->definition.get());
  trv_program_block* block = nullptr;
  if (definition != nullptr) {
    block =
        definition->constructor ? definition->constructor.get() : definition->default_block.get();
  }
  if (block == nullptr) {
    trv_runtime_error("Invalid class definition.");
    return {};
  }
  trvvar_shared function = trvvar_new();
  trvvar_set_function(*function, trvptr_weak<trv_program_block>::from(block),
                      trvptr_weak<trv_task>::from(caller.scope));
  return function;
}

void trv_class_finish_operator(trv_vm_context& frame) {
  const uint8_t mode = std::exchange(frame.pending_operator_mode, 0);
  std::vector<trvvar_shared>& stack = frame.task->stack;
  if (stack.size() < 3) return;
  trvvar_shared result = std::move(stack.back());
  stack.pop_back();
  stack.pop_back();
  frame.stack_depth -= 2;
  if (!result) result = trvvar_new();
  switch (mode) {
    case TRV_OPERATOR_RESULT:
      stack.back() = std::move(result);
      break;
    case TRV_OPERATOR_TRUE_WHEN_NONZERO:
      trvvar_store_int(stack.back(),
                       trvvar_compare_zero(*trvvar_deref_cheap(result.get())) ? 0 : 1);
      break;
    default:
      trvvar_store_int(stack.back(),
                       trvvar_compare_zero(*trvvar_deref_cheap(result.get())) ? 1 : 0);
      break;
  }
}

bool trv_class_start_destructor(trv_class& instance, std::function<void(trvvar_shared&)> finished) {
  trv_class_def* definition = trv_class_def_of(instance);
  trv_task* root = trv_task_scope_root(instance.scope().get());
  if (definition == nullptr || !definition->destructor || root == nullptr || root->frames.empty()) {
    return false;
  }
  trv_program_block& block = *definition->destructor;
  trvptr_strong<trv_task> task = trvptr_strong<trv_task>::from_new(new trv_task());
  task->definition = definition->destructor;
  task->unit = block.unit;
  task->routine = block.kind != TRV_BLOCK_GLOBAL;
  trv_task_link(*task, *root, *root);
  task->bound_object = instance.bound_pointer();
  trv_task_report_created(*task);
  task->on_complete = std::move(finished);
  if (task->run()) return true;
  task->on_complete = nullptr;
  return false;
}
