#include "vm/interpreter.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "glue/log.h"
#include "glue/thread_local.h"
#include "objects/function_def.h"
#include "values/assign.h"
#include "values/compare.h"
#include "values/convert.h"
#include "values/member_access.h"
#include "values/object.h"
#include "values/operators.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"
#include "values/runtime.h"
#include "vm/call.h"
#include "vm/class_runtime.h"
#include "vm/opcodes.h"
#include "vm/program_block.h"
#include "vm/task.h"

// Dispatch is one indirect jump per instruction through a table of label addresses where the
// compiler has labels as values, a switch otherwise; the cases are the same code.
#if defined(__GNUC__)
#define TRV_COMPUTED_GOTO 1
#else
#define TRV_COMPUTED_GOTO 0
#endif

namespace {

trv_trace_hook trace_hook = nullptr;

// A slot read as a value: an empty handle (a native call may return one) reads as a fresh
// none, and a member or reference as what it stands for.
trvvar_shared deref_slot(trvvar_shared& slot, trv_runtime* rt) {
  if (!slot) slot = trvvar_new(rt);
  return trvvar_deref_cheap(slot.get());
}

// Steps (increments or decrements) the value the top slot stands for, leaving a copy of the
// old value in the slot for the postfix form. A member of a native object, in the slot or at
// the end of its chain of references (a by-reference parameter given `b.value`), reads as a
// copy, so the new value goes back through the member. Out of line: the loop steps integers
// itself.
[[gnu::noinline]] void step_top(trvvar_shared& top, bool postfix, bool (*step)(trvvar&),
                                const char* message, trv_runtime* rt) {
  trvvar* const end = top && top->type == TRVVAR_REF ? trvvar_chain_end(top.get()) : top.get();
  const trvvar_shared member =
      end != nullptr && trvvar_is_member(end->type) ? trvvar_shared::share(end) : trvvar_shared();
  trvvar_shared target = deref_slot(top, rt);
  if (postfix) {
    top = trvvar_new(rt);
    trvvar_set(*top, target);
  }
  if (!step(*target)) {
    trv_runtime_error(message);
  } else if (member) {
    trvvar_set(*member, target);
  }
}

// The value a slot stands for, for an instruction that reads it while the slot keeps it: the
// slot's own record unless that is a reference or member, without a new holder; otherwise the
// dereferenced value, which `held` keeps. Inlined: it is the callee's read of every call.
[[gnu::always_inline]] inline trvvar& slot_value(trvvar_shared& slot, trvvar_shared& held,
                                                 trv_runtime* rt) {
  if (!slot) slot = trvvar_new(rt);
  if (!trvvar_stands_for_other(*slot)) return *slot;
  held = trvvar_deref(slot.get());
  return *held;
}

// A plain record (none, integer, float without flags) that a slot lets go of becomes the
// task's spare record, or goes straight back to the variable pool of the runtime the frame
// runs on. Releasing one cannot run code, so it may go before the slot's new value is stored.
[[gnu::always_inline]] inline void drop_plain(trvvar_shared& slot, trvvar_shared& spare,
                                              trv_runtime* rt) {
  trvvar* v = slot.get();
  if (v == nullptr || !trvvar_unshared_plain(*v)) return;
  if (!spare) {
    trvvar_clear_plain(*v);
    spare = std::move(slot);
  } else if (rt != nullptr) {
    trvvar_release_unshared_plain(slot, *rt);
  }
}

// slot := another holder of `variable`.
[[gnu::always_inline]] inline void share_into(trvvar_shared& slot, const trvvar_shared& variable,
                                              trvvar_shared& spare, trv_runtime* rt) {
  if (slot.get() == variable.get()) return;
  drop_plain(slot, spare, rt);
  slot = variable;
}

// push_none leaves an empty slot: a none that nothing has read yet. Instructions that hand
// the slot's variable itself on make it a real one first.
inline trvvar_shared& materialized(trvvar_shared& slot, trv_runtime* rt) {
  if (!slot) slot = trvvar_new(rt);
  return slot;
}

// The record of a slot when it holds an integer, else null (a reference or member is not
// looked through here).
inline const trvvar* plain_int(const trvvar_shared& slot) {
  const trvvar* v = slot.get();
  return v != nullptr && v->type == TRVVAR_INT ? v : nullptr;
}

// The operators that two integers answer without their general rules: arithmetic (one byte)
// and comparisons (two, the second their small operand).
constexpr bool is_comparison(uint8_t op) {
  return op == TRV_OP_eq || op == TRV_OP_gt || op == TRV_OP_lt;
}
constexpr std::array<bool, 256> integer_operators = [] {
  std::array<bool, 256> table{};
  for (const uint8_t op : {TRV_OP_add, TRV_OP_sub, TRV_OP_mul, TRV_OP_eq, TRV_OP_gt, TRV_OP_lt}) {
    table[op] = true;
  }
  return table;
}();
static_assert(trv_opcode_table[TRV_OP_add].length == 1 &&
              trv_opcode_table[TRV_OP_sub].length == 1 &&
              trv_opcode_table[TRV_OP_mul].length == 1 && trv_opcode_table[TRV_OP_eq].length == 2 &&
              trv_opcode_table[TRV_OP_gt].length == 2 && trv_opcode_table[TRV_OP_lt].length == 2);

// The result of integer operator `op`, the instruction at `at`, on x and y.
[[gnu::always_inline]] inline int64_t integer_result(uint8_t op, const uint8_t* at, int64_t x,
                                                     int64_t y) {
  switch (op) {
    case TRV_OP_add:
      return trv_wrap_add(x, y);
    case TRV_OP_sub:
      return trv_wrap_sub(x, y);
    case TRV_OP_mul:
      return trv_wrap_mul(x, y);
    case TRV_OP_eq:
      return (x == y) != (trv_operand_small(at) == 1);
    case TRV_OP_gt:
      return trv_operand_small(at) == 1 ? x >= y : x > y;
    default:
      return trv_operand_small(at) == 1 ? x <= y : x < y;
  }
}

trvvar_shared new_string(std::string_view text, trv_runtime* rt) {
  trvptr_strong<trvobject_base> object = trv_new_string_object();
  trv_string_object_text(*object).assign(text);
  return trvvar_new_carrying(TRVVAR_STRING, std::move(object), rt);
}

// Errors that stop the frame whatever encloses it: the code itself is broken.
void fatal_error(trv_vm_context& frame, const std::string& message) {
  trv_runtime_error(message);
  frame.status = 128;
}

void no_global_scope(trv_vm_context& frame) {
  trv_runtime_error("No global scope!");
  trv_task* root = trv_task_scope_root(frame.scope);
  const size_t root_frames = root != nullptr ? root->frames.size() : 0;
  const void* first = root != nullptr && !root->frames.empty() ? root->frames.front() : nullptr;
  trv_log(TRV_LOG_ERROR, "No global scope: ", root_frames, " : ", first);
  trv_log(TRV_LOG_ERROR, "Addr: ", static_cast<const void*>(root));
  trv_log(TRV_LOG_ERROR, "Blocks: ", frame.task->frames.size());
  trv_log(TRV_LOG_ERROR, "Name: ", root != nullptr ? root->name : std::string());
}

// The global frame of the frame's scope, or null (after the error) when there is none.
trv_vm_context* global_frame(trv_vm_context& frame) {
  trv_task* root = trv_task_scope_root(frame.scope);
  if (root == nullptr || root->frames.empty()) {
    no_global_scope(frame);
    return nullptr;
  }
  return root->frames.front();
}

// The frame `levels` below the top of the task's frame stack, or null after an error.
trv_vm_context* frame_below(trv_vm_context& frame, int32_t levels) {
  const std::vector<trv_vm_context*>& frames = frame.task->frames;
  if (levels < 0 || static_cast<size_t>(levels) >= frames.size()) {
    trv_runtime_error("frame ", levels, " levels down does not exist.");
    return nullptr;
  }
  return frames[frames.size() - 1 - static_cast<size_t>(levels)];
}

trvvar_shared* local_of(trv_vm_context* frame, int32_t slot) {
  if (frame == nullptr) return nullptr;
  if (slot < 0 || static_cast<uint32_t>(slot) >= frame->block->local_count) {
    trv_runtime_error("local ", slot, " does not exist.");
    return nullptr;
  }
  return &frame->locals[static_cast<size_t>(slot)];
}

trvvar_shared* block_variable_of(trv_vm_context* frame, int32_t index) {
  if (frame == nullptr) return nullptr;
  std::vector<trvvar_shared>& variables = frame->block->block_variables;
  if (index < 0 || static_cast<size_t>(index) >= variables.size()) {
    trv_runtime_error("block variable ", index, " does not exist.");
    return nullptr;
  }
  return &variables[static_cast<size_t>(index)];
}

// The argument list at the current depth and its entry, or null after an error.
trvvar_shared* argument_of(trv_task& task, int32_t index) {
  if (task.argument_depth <= 0 ||
      static_cast<size_t>(task.argument_depth) >= task.argument_lists.size()) {
    trv_runtime_error("no argument list is open.");
    return nullptr;
  }
  std::vector<trvvar_shared>& list = *task.argument_lists[static_cast<size_t>(task.argument_depth)];
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    trv_runtime_error("index out of range!");
    return nullptr;
  }
  return &list[static_cast<size_t>(index)];
}

// Pushes a frame for `block` above `frame`, bound to the frame's object; the caller returns
// with status 16.
bool enter_block(trv_vm_context& frame, trv_program_block* block) {
  trv_task& task = *frame.task;
  if (task.frames.size() >= trv_max_frames) {
    trv_runtime_error("Maximum call depth exceeded.");
    return false;
  }
  task.frames.push_back(trv_vm_context_create(&task, frame.scope, block, block->local_count,
                                              frame.bound_object, task.owned));
  frame.status = 16;
  return true;
}

void capture(trv_vm_context& frame, std::vector<trvvar_shared>& stack, bool bind_this,
             bool by_reference, trv_runtime* rt) {
  // Held for the whole capture: a member's value is a record of its own.
  const trvvar_shared held = deref_slot(stack[stack.size() - 2], rt);
  trvvar& function = *held;
  if (function.type != TRVVAR_FUNCTION) {
    trv_runtime_error("not a function!");
    return;
  }
  trvvar_function_payload& payload = *function.payload.function_payload;
  if (bind_this) {
    payload.bound_object = frame.bound_object;
    return;
  }
  if (!payload.captures) {
    payload.captures =
        trvptr_strong<trvvar_ptr_function_lambda>::from_new(new trvvar_ptr_function_lambda());
  }
  trvvar_shared captured = trvvar_new(rt);
  if (by_reference) {
    trvvar_make_ref(*captured, stack.back().get());
  } else {
    trvvar_set(*captured, stack.back());
  }
  payload.captures->push_back(std::move(captured));
}

// The native object whose members a string, binary, json or object value exposes; null for
// any other value and for an object value whose object is gone.
trvobject_base* native_owner(const trvvar& value) {
  switch (value.type) {
    case TRVVAR_STRING:
    case TRVVAR_BINARY:
    case TRVVAR_JSON:
      return value.payload.object.get();
    case TRVVAR_OBJECT:
      return value.payload.object_payload->object.get();
    default:
      return nullptr;
  }
}

// The object of `value` when the access site's cache holds a native method for its class,
// else null.
trvobject_base* cached_method_owner(const trvvar& value, const trv_member_cache_entry& cache) {
  trvobject_base* owner = native_owner(value);
  return owner != nullptr && cache.method != nullptr && cache.class_tag == owner->class_type_tag
             ? owner
             : nullptr;
}

// That method prepared for a call with `count` arguments; false, with nothing prepared or
// reported, when the cache holds none for this object's class or the count does not fit.
bool prepare_cached_native(trv_vm_context& frame, const trvvar& value,
                           const trv_member_cache_entry& cache, uint32_t count) {
  trvobject_base* owner = cached_method_owner(value, cache);
  return owner != nullptr && trv_call_prepare_method(frame, *cache.method, *owner, count);
}

// That method called at once without arguments, for a call that follows its preparation
// directly; the frame's noted instruction is the call's while it runs.
bool call_cached_native(trv_vm_context& frame, const trvvar& value,
                        const trv_member_cache_entry& cache, const uint8_t* call) {
  trvobject_base* owner = cached_method_owner(value, cache);
  if (owner == nullptr) return false;
  frame.instruction_pointer = call;
  return trv_call_method_now(frame, *cache.method, *owner);
}

// The definition of a member value that is a native method bound to `owner`, else null.
// Definitions of native methods live as long as their class's registration.
trv_function_def* method_bound_to(const trvvar& member, const trvobject_base* owner) {
  if (member.type != TRVVAR_EXT_FUNCTION) return nullptr;
  const trvvar_ext_function_payload& payload = *member.payload.ext_function_payload;
  return payload.bound_object.get() == owner ? payload.definition.get() : nullptr;
}

// Member access by name on a value that is not a script class instance. A native object's
// member index is cached per access site by the object's class type tag, so a hit costs no
// lookup by name; a name the class lacks (index -1) is a member by name, such as a json key.
trvvar_shared member_by_literal(trvvar& value, std::string_view name,
                                trv_member_cache_entry& cache) {
  if (value.type == TRVVAR_OBJECT && !value.payload.object_payload->object) {
    // The report may replace the operand the value lives in (inside a no-except block).
    return trv_runtime_error("variable is not a valid object anymore, cannot get member '", name,
                             "'!");
  }
  trvobject_base* owner = native_owner(value);
  if (owner == nullptr) return trvvar_member_by_name(value, name);
  const bool known = cache.class_tag == owner->class_type_tag;
  if (!known) {
    cache.class_tag = owner->class_type_tag;
    cache.index = owner->member_index(name);
    cache.method = nullptr;
  }
  if (cache.index < 0) return trvvar_member_by_name(value, name);
  trvvar_shared member;
  owner->member_reference(member, cache.index);
  if (!known) cache.method = method_bound_to(*member, owner);
  return member;
}

trvvar_shared keyed_member(trvvar& container, trvvar& key) {
  if (key.type == TRVVAR_INT || key.type == TRVVAR_FLOAT) {
    trvvar_shared found = trvvar_member_by_index(container, trvvar_int_value(key));
    if (!found) return trv_runtime_error("Index out of range!");
    return found;
  }
  if (key.type == TRVVAR_STRING) return trvvar_member_by_name(container, trvvar_string_view(key));
  return trvvar_member_by_name(container, trvvar_string_value(key));
}

trvvar_shared member_if_present(trvvar& container, std::string_view name, trv_runtime* rt) {
  if (trvvar_has_member(container, name)) return trvvar_member_by_name(container, name);
  trvvar_shared zero = trvvar_new(rt);
  trvvar_set_int(*zero, 0);
  return zero;
}

[[gnu::always_inline]] inline uint32_t leave(trv_vm_context& frame, const uint8_t* ip) {
  const uint32_t status = frame.status;
  if (status >= 2 && status <= 32) {
    frame.running = 1;
    frame.saved_position = static_cast<uint32_t>(ip - frame.block->code_begin());
    return status;
  }
  frame.running = 0;
  frame.saved_position = 0;
  return status > 64 ? status : 64;
}

// The frame that runs next in this run, or null when the task's loop must act on the status:
// the frame a call or nested block pushed (16), or the suspended frame below one that ended
// by running out of code or by a return from a function's own frame. A stopped task, and a
// frame stack at its limit, go back to the loop.
[[gnu::always_inline]] inline trv_vm_context* next_frame(trv_vm_context& frame, const uint8_t* ip) {
  trv_task& task = *frame.task;
  if (task.stop) return nullptr;
  const trv_program_block& block = *frame.block;
  if (frame.status == 16) {
    if (task.frames.back() == &frame || task.frames.size() > trv_max_frames) return nullptr;
    leave(frame, ip);
    return task.frames.back();
  }
  const bool ended = (frame.status == 0 && ip >= block.code_end()) ||
                     (frame.status == 8 && block.kind == TRV_BLOCK_FUNCTION &&
                      block.exit_position >= block.code.size());
  if (!ended || task.frames.back() != &frame) return nullptr;
  return trv_task_resume_caller(task);
}

}  // namespace

void trv_set_trace_hook(trv_trace_hook hook) { trace_hook = hook; }

uint32_t trv_interpret(trv_vm_context& first, trv_runtime* const rt) {
  trv_vm_context* frame = &first;
  trv_task& task = *frame->task;
  const trv_trace_hook hook = trace_hook;
  std::vector<trvvar_shared>& stack = task.stack;
  trvvar_shared& spare = task.spare_record;
  trv_program_block* block;
  const uint8_t* begin;
  const uint8_t* end;
  const uint8_t* ip;
  int64_t integer_value = 0;  // an integer operator's result, stored by *_result below
#if TRV_COMPUTED_GOTO
#define TRV_I4 &&op_invalid, &&op_invalid, &&op_invalid, &&op_invalid,
#define TRV_I16 TRV_I4 TRV_I4 TRV_I4 TRV_I4
#define TRV_I64 TRV_I16 TRV_I16 TRV_I16 TRV_I16
  // Opcodes 1..67 in order, every other byte invalid.
  static void* const labels[] = {&&op_invalid,
#define TRV_OPCODE(op, mnemonic, length, operands, effect, doc) &&op_##mnemonic,
#include "vm/opcodes.def"
#undef TRV_OPCODE
                                 TRV_I64 TRV_I64 TRV_I16 TRV_I16 TRV_I16 TRV_I4 TRV_I4 TRV_I4};
  static_assert(sizeof labels / sizeof labels[0] == 256);
  // A traced run dispatches through `table`, whose every entry calls the hook and then jumps
  // to the instruction's case, so an untraced one tests nothing for the hook per instruction.
#define TRV_T4 &&op_traced, &&op_traced, &&op_traced, &&op_traced,
#define TRV_T16 TRV_T4 TRV_T4 TRV_T4 TRV_T4
#define TRV_T64 TRV_T16 TRV_T16 TRV_T16 TRV_T16
  static void* const traced[] = {TRV_T64 TRV_T64 TRV_T64 TRV_T64};
  static_assert(sizeof traced / sizeof traced[0] == 256);
  void* const* const table = hook != nullptr ? traced : labels;
#endif
// Every frame the run takes up starts here: the first, a frame a call or nested block pushed,
// and a frame resumed when the one above it ended.
enter:
  block = frame->block;
  frame->running = 1;
  frame->status = 0;
  begin = block->code_begin();
  end = block->code_end();
  ip = begin + frame->saved_position;
  frame->instruction_pointer = ip;
  if (!block->checked_sound()) {
    fatal_error(*frame, "invalid program block: " + *block->check_result());
    return leave(*frame, ip);
  }
  if (frame->pending_operator_mode != 0) trv_class_finish_operator(*frame);

// Before each instruction: stop when the frame's status is set or the code is done, note the
// instruction for error reports and the trace, then jump to its case.
#define TRV_TRACE_HOOK()          \
  hook(*frame, ip, stack.size()); \
  if (frame->status != 0) goto done;
#define TRV_PROLOGUE()                                            \
  if (frame->status != 0) goto done;                              \
  [[maybe_unused]] dispatch_unchecked : if (ip >= end) goto done; \
  frame->instruction_pointer = ip;                                \
  TRV_TRACE()
// An untraced run may take two instructions in one step; a traced run shows every instruction.
#define TRV_UNTRACED (hook == nullptr)

#if TRV_COMPUTED_GOTO
#define TRV_TRACE()
// A case ends in a plain goto to the one dispatch point: a computed goto out of a case would
// skip the destructors of the case's handles. Where no handle is in scope (the quick paths),
// the case dispatches the next instruction itself, which gives the processor one indirect
// branch per case to predict instead of one for all.
#define TRV_CASE(mnemonic) op_##mnemonic:
#define TRV_INVALID \
  op_invalid:
#define TRV_NEXT(n) \
  do {              \
    ip += (n);      \
    goto dispatch;  \
  } while (0)
#define TRV_NEXT_QUICK(n)            \
  do {                               \
    ip += (n);                       \
    if (ip >= end) goto done;        \
    frame->instruction_pointer = ip; \
    goto* table[*ip];                \
  } while (0)
dispatch:
  TRV_PROLOGUE();
  goto* table[*ip];
op_traced:
  TRV_TRACE_HOOK();
  goto* labels[*ip];
#else
#define TRV_TRACE()      \
  if (hook != nullptr) { \
    TRV_TRACE_HOOK()     \
  }
#define TRV_CASE(mnemonic) case TRV_OP_##mnemonic:
#define TRV_INVALID default:
#define TRV_NEXT(n) \
  {                 \
    ip += (n);      \
    continue;       \
  }
#define TRV_NEXT_QUICK(n)    \
  {                          \
    ip += (n);               \
    goto dispatch_unchecked; \
  }
  for (;;) {
    TRV_PROLOGUE();
    switch (*ip) {
#endif
// TRV_NEXT_QUICK follows an instruction that cannot raise an error or call out: the frame's
// status is still 0.

// Broken code can leave fewer operands than an instruction takes.
#define TRV_NEED(n)                                  \
  if (stack.size() < (n)) {                          \
    fatal_error(*frame, "operand stack underflow."); \
    goto done;                                       \
  }
#define TRV_TOP stack.back()
#define TRV_POP()         \
  do {                    \
    stack.pop_back();     \
    --frame->stack_depth; \
  } while (0)
// Pops a slot whose record is most often a temporary.
#define TRV_POP_TEMPORARY()         \
  do {                              \
    drop_plain(TRV_TOP, spare, rt); \
    TRV_POP();                      \
  } while (0)

  TRV_CASE(load_local) {
    TRV_NEED(1);
    share_into(TRV_TOP, frame->locals[static_cast<size_t>(trv_operand_a(ip))], spare, rt);
    TRV_NEXT_QUICK(8);
  }
  TRV_CASE(load_local_flags) {
    TRV_NEED(1);
    const size_t slot = static_cast<size_t>(trv_operand_a(ip));
    TRV_TOP = frame->locals[slot];
    TRV_TOP->flags = slot < block->slot_flags.size() ? block->slot_flags[slot] : 0;
    TRV_NEXT(8);
  }
  TRV_CASE(load_block_var) {
    TRV_NEED(1);
    share_into(TRV_TOP, block->block_variables[static_cast<size_t>(trv_operand_a(ip))], spare, rt);
    TRV_NEXT_QUICK(8);
  }
  TRV_CASE(load_outer_local) {
    TRV_NEED(1);
    if (trvvar_shared* local =
            local_of(frame_below(*frame, trv_operand_a(ip)), trv_operand_b(ip))) {
      TRV_TOP = *local;
    }
    TRV_NEXT(12);
  }
  TRV_CASE(load_outer_block_var) {
    TRV_NEED(1);
    if (trvvar_shared* variable =
            block_variable_of(frame_below(*frame, trv_operand_a(ip)), trv_operand_b(ip))) {
      TRV_TOP = *variable;
    }
    TRV_NEXT(12);
  }
  TRV_CASE(load_global) {
    TRV_NEED(1);
    if (trv_vm_context* global = global_frame(*frame)) {
      if (trvvar_shared* local = local_of(global, trv_operand_a(ip))) TRV_TOP = *local;
    }
    TRV_NEXT(8);
  }
  TRV_CASE(load_global_block_var) {
    TRV_NEED(1);
    if (trv_vm_context* global = global_frame(*frame)) {
      if (trvvar_shared* variable = block_variable_of(global, trv_operand_a(ip))) {
        TRV_TOP = *variable;
      }
    }
    TRV_NEXT(8);
  }
  TRV_CASE(int) {
    TRV_NEED(1);
    trvvar_store_int(TRV_TOP, trv_operand_int(ip), rt, &spare);
    TRV_NEXT_QUICK(16);
  }
  TRV_CASE(float) {
    TRV_NEED(1);
    trvvar_store_float(TRV_TOP, trv_operand_float(ip), rt, &spare);
    TRV_NEXT_QUICK(16);
  }
  TRV_CASE(string) {
    TRV_NEED(1);
    TRV_TOP = new_string(block->unit->literals[static_cast<size_t>(trv_operand_a(ip))], rt);
    TRV_NEXT(8);
  }
  TRV_CASE(function) {
    TRV_NEED(1);
    trvvar_shared function = trvvar_new(rt);
    trvvar_set_function(*function, block->children[static_cast<size_t>(trv_operand_a(ip))],
                        trvptr_weak<trv_task>::from(frame->scope));
    TRV_TOP = std::move(function);
    TRV_NEXT(8);
  }
  TRV_CASE(native) {
    TRV_NEED(1);
    trvvar_shared function = trvvar_new(rt);
    trvvar_set_ext_function(
        *function, trvptr_weak<trv_function_def>::from(trv_operand_pointer<trv_function_def>(ip)),
        {});
    TRV_TOP = std::move(function);
    TRV_NEXT(16);
  }
  TRV_CASE(variable) {
    TRV_NEED(1);
    TRV_TOP = trvvar_shared::share(trv_operand_pointer<trvvar>(ip));
    TRV_NEXT(16);
  }
  TRV_CASE(none) {
    TRV_NEED(1);
    TRV_TOP = trvvar_new(rt);
    TRV_NEXT(1);
  }
  TRV_CASE(capture) {
    TRV_NEED(2);
    materialized(TRV_TOP, rt);
    capture(*frame, stack, trv_operand_small(ip) != 0, false, rt);
    TRV_NEXT(2);
  }
  TRV_CASE(capture_ref) {
    TRV_NEED(2);
    materialized(TRV_TOP, rt);
    capture(*frame, stack, false, true, rt);
    TRV_NEXT(1);
  }
// An integer operand (`y_ok`, then `y`) of the integer operator `op` at `after`, on an integer
// on the top, is not pushed: the operator's result goes into the top's slot at once (i < n,
// x + 1).
#define TRV_FUSED_OPERATOR(after, op, y_ok, y)                                \
  if (integer_operators[op] && !stack.empty() && (y_ok)) {                    \
    if (const trvvar* x = plain_int(TRV_TOP)) {                               \
      integer_value = integer_result(op, (after), x->payload.int_value, (y)); \
      ip = (after);                                                           \
      if (is_comparison(op)) goto comparison_result;                          \
      goto arithmetic_result;                                                 \
    }                                                                         \
  }
  TRV_CASE(push_none) {
    // An operand is pushed as a slot that a load or a constant then fills. Without a trace to show
    // the second instruction, the slot is pushed filled; the block's check has made sure that an
    // instruction after this one is whole and its operand in range.
    if (TRV_UNTRACED && ip + 1 < end) {
      const uint8_t* const next = ip + 1;
      static_assert(trv_opcode_table[TRV_OP_load_local].length == 8 &&
                    trv_opcode_table[TRV_OP_load_block_var].length == 8 &&
                    trv_opcode_table[TRV_OP_int].length == 16 &&
                    trv_opcode_table[TRV_OP_call_arg].length == 8 &&
                    trv_opcode_table[TRV_OP_pop].length == 8);
      const trvvar* y = nullptr;
      const uint8_t* after = next + (*next == TRV_OP_int ? 16 : 8);
      // The instruction after the pair; 0, no instruction, at the code end.
      const uint8_t following = after < end ? *after : 0;
      if (*next == TRV_OP_load_local) {
        trvvar_shared& local = frame->locals[static_cast<size_t>(trv_operand_a(next))];
        TRV_FUSED_OPERATOR(after, following, (y = plain_int(local)) != nullptr,
                           y->payload.int_value)
        // A local passed as a script call's argument and popped at once goes into the
        // parameter slot without being pushed; anything that could fail takes the ordinary
        // road, so that a failure leaves the operand stack as it would.
        if (following == TRV_OP_call_arg && end - after > 8 && after[8] == TRV_OP_pop &&
            trv_call_store_script_argument(*frame, static_cast<uint32_t>(trv_operand_a(after)),
                                           local)) {
          TRV_NEXT_QUICK(1 + 8 + 8 + 8);
        }
        stack.emplace_back() = local;
        ++frame->stack_depth;
        TRV_NEXT_QUICK(1 + 8);
      }
      if (*next == TRV_OP_load_block_var) {
        trvvar_shared& variable = block->block_variables[static_cast<size_t>(trv_operand_a(next))];
        TRV_FUSED_OPERATOR(after, following, (y = plain_int(variable)) != nullptr,
                           y->payload.int_value)
        stack.emplace_back() = variable;
        ++frame->stack_depth;
        TRV_NEXT_QUICK(1 + 8);
      }
      if (*next == TRV_OP_int) {
        const int64_t constant = trv_operand_int(next);
        TRV_FUSED_OPERATOR(after, following, true, constant)
        trvvar_store_int(stack.emplace_back(), constant, rt, &spare);
        ++frame->stack_depth;
        TRV_NEXT_QUICK(1 + 16);
      }
    }
    stack.emplace_back();
    ++frame->stack_depth;
    TRV_NEXT_QUICK(1);
  }
#undef TRV_FUSED_OPERATOR
  TRV_CASE(dup) {
    TRV_NEED(1);
    stack.push_back(materialized(TRV_TOP, rt));
    ++frame->stack_depth;
    TRV_NEXT(1);
  }
  TRV_CASE(pop) {
    TRV_NEED(1);
    TRV_POP_TEMPORARY();
    TRV_NEXT_QUICK(8);
  }
  TRV_CASE(assign) {
    TRV_NEED(2);
    trvvar* target = stack[stack.size() - 2].get();
    const trvvar* value = TRV_TOP.get();
    if (target != nullptr && value != nullptr && trvvar_set_plain(*target, *value)) {
      TRV_POP_TEMPORARY();
      TRV_NEXT_QUICK(1);
    }
    trvvar_shared source = std::move(materialized(TRV_TOP, rt));
    TRV_POP();
    trvvar_set(*materialized(TRV_TOP, rt), source);
    TRV_NEXT(1);
  }
  TRV_CASE(neg) {
    TRV_NEED(1);
    trvvar_shared operand = deref_slot(TRV_TOP, rt);
    trvvar_op_negate(TRV_TOP, *operand);
    TRV_NEXT(1);
  }
  TRV_CASE(not ) {
    TRV_NEED(1);
    const bool zero = trvvar_compare_zero(*deref_slot(TRV_TOP, rt));
    trvvar_store_int(TRV_TOP, zero ? 1 : 0, rt, &spare);
    TRV_NEXT(1);
  }
  TRV_CASE(ref) {
    TRV_NEED(1);
    if (!TRV_TOP) TRV_TOP = trvvar_new(rt);
    trvvar* target = TRV_TOP.get();
    if (target->type == TRVVAR_REF && target->payload.ref != nullptr) target = target->payload.ref;
    trvvar_shared reference = trvvar_new(rt);
    trvvar_make_ref(*reference, target);
    TRV_TOP = std::move(reference);
    TRV_NEXT(1);
  }
  TRV_CASE(deref) {
    TRV_NEED(1);
    TRV_TOP = deref_slot(TRV_TOP, rt);
    TRV_NEXT(1);
  }
// A binary operator by the operator's own rules: the right operand popped, both read
// dereferenced, the result in the left operand's slot.
#define TRV_BINARY_BY_RULES(mnemonic, call)         \
  trvvar_shared right_slot = std::move(TRV_TOP);    \
  TRV_POP();                                        \
  trvvar_shared right = deref_slot(right_slot, rt); \
  trvvar_shared left = deref_slot(TRV_TOP, rt);     \
  call;                                             \
  TRV_NEXT(trv_opcode_table[TRV_OP_##mnemonic].length);
#define TRV_BINARY(mnemonic, call)      \
  TRV_CASE(mnemonic) {                  \
    TRV_NEED(2);                        \
    TRV_BINARY_BY_RULES(mnemonic, call) \
  }
// Two integers are answered here; everything else by the operator's own rules.
#define TRV_INTEGER_BINARY(mnemonic, call)                                                   \
  TRV_CASE(mnemonic) {                                                                       \
    TRV_NEED(2);                                                                             \
    const trvvar* b = plain_int(TRV_TOP);                                                    \
    const trvvar* a = plain_int(stack[stack.size() - 2]);                                    \
    if (a != nullptr && b != nullptr) {                                                      \
      integer_value =                                                                        \
          integer_result(TRV_OP_##mnemonic, ip, a->payload.int_value, b->payload.int_value); \
      TRV_POP_TEMPORARY();                                                                   \
      if (is_comparison(TRV_OP_##mnemonic)) goto comparison_result;                          \
      goto arithmetic_result;                                                                \
    }                                                                                        \
    TRV_BINARY_BY_RULES(mnemonic, call)                                                      \
  }
  TRV_INTEGER_BINARY(add, trvvar_op_add(TRV_TOP, *left, *right))
  TRV_INTEGER_BINARY(sub, trvvar_op_sub(TRV_TOP, *left, *right))
  TRV_INTEGER_BINARY(mul, trvvar_op_mul(TRV_TOP, *left, *right))
  TRV_BINARY(div, trvvar_op_div(TRV_TOP, *left, *right))
  TRV_BINARY(band, trvvar_op_and(TRV_TOP, *left, *right))
  TRV_BINARY(bor, trvvar_op_or(TRV_TOP, *left, *right))
  TRV_BINARY(bxor, trvvar_op_xor(TRV_TOP, *left, *right))
  TRV_INTEGER_BINARY(eq, trvvar_op_equal(TRV_TOP, *left, *right, trv_operand_small(ip) == 1))
  TRV_INTEGER_BINARY(gt, trvvar_op_greater(TRV_TOP, *left, *right, trv_operand_small(ip) == 1))
  TRV_INTEGER_BINARY(lt, trvvar_op_less(TRV_TOP, *left, *right, trv_operand_small(ip) == 1))
#undef TRV_INTEGER_BINARY
#undef TRV_BINARY
#undef TRV_BINARY_BY_RULES
// Increment and decrement: the dereferenced top in place; with the small operand (postfix) the
// top slot first gets a copy of the old value.
#define TRV_STEP(mnemonic, delta, step, message)                               \
  TRV_CASE(mnemonic) {                                                         \
    TRV_NEED(1);                                                               \
    if (trvvar* v = TRV_TOP.get();                                             \
        v != nullptr && v->type == TRVVAR_INT && trv_operand_small(ip) == 0) { \
      v->payload.int_value = trv_wrap_add(v->payload.int_value, delta);        \
      TRV_NEXT_QUICK(2);                                                       \
    }                                                                          \
    step_top(TRV_TOP, trv_operand_small(ip) != 0, step, message, rt);          \
    TRV_NEXT(2);                                                               \
  }
  TRV_STEP(inc, 1, trvvar_increment_value, "Cannot increment variable!")
  TRV_STEP(dec, -1, trvvar_decrement_value, "Cannot decrement variable!")
#undef TRV_STEP
  TRV_CASE(truth) {
    TRV_NEED(1);
    const bool zero = trvvar_compare_zero(*deref_slot(TRV_TOP, rt));
    trvvar_store_int(TRV_TOP, zero ? 0 : 1, rt, &spare);
    TRV_NEXT(1);
  }
  TRV_CASE(args_open) {
    trv_arguments_open(task, trv_operand_a(ip));
    TRV_NEXT(8);
  }
  TRV_CASE(arg_deref) {
    TRV_NEED(1);
    if (trvvar_shared* argument = argument_of(task, trv_operand_a(ip))) {
      *argument = deref_slot(TRV_TOP, rt);
    }
    TRV_NEXT(8);
  }
  TRV_CASE(arg_copy) {
    TRV_NEED(1);
    if (trvvar_shared* argument = argument_of(task, trv_operand_a(ip))) {
      trvvar_shared copy = trvvar_new(rt);
      if (TRV_TOP) trvvar_set(*copy, TRV_TOP);
      *argument = std::move(copy);
    }
    TRV_NEXT(8);
  }
  TRV_CASE(arg_load) {
    TRV_NEED(1);
    if (trvvar_shared* argument = argument_of(task, trv_operand_a(ip))) TRV_TOP = *argument;
    TRV_NEXT(8);
  }
  TRV_CASE(call_native) {
    TRV_NEED(1);
    if (task.argument_depth <= 0 ||
        static_cast<size_t>(task.argument_depth) >= task.argument_lists.size()) {
      trv_runtime_error("no argument list is open.");
      TRV_NEXT(16);
    }
    std::vector<trvvar_shared>& list =
        *task.argument_lists[static_cast<size_t>(task.argument_depth)];
    trvvar_shared result =
        trv_call_native(*frame, *trv_operand_pointer<trv_function_def>(ip), nullptr, list);
    --task.argument_depth;
    if (!stack.empty()) TRV_TOP = std::move(result);
    TRV_NEXT(16);
  }
  TRV_CASE(args_clear) {
    const size_t above = static_cast<size_t>(task.argument_depth) + 1;
    if (above < task.argument_lists.size()) task.argument_lists[above]->clear();
    TRV_NEXT(1);
  }
  TRV_CASE(call_prepare) {
    TRV_NEED(1);
    bool prepared;
    {
      trvvar_shared held;
      prepared = trv_call_prepare(*frame, slot_value(TRV_TOP, held, rt), trv_operand_small(ip));
    }
    if (frame->status == 0) {
      // A call prepared without a report dispatches the next instruction itself.
      if (prepared) TRV_NEXT_QUICK(2);
      // A failure the frame goes on after (inside a no-except block) leaves a call to skip.
      task.pending_calls.push_back({frame, trv_pending_skipped});
    }
    TRV_NEXT(2);
  }
  TRV_CASE(call_arg) {
    TRV_NEED(1);
    trv_call_store_argument(*frame, static_cast<uint32_t>(trv_operand_a(ip)),
                            materialized(TRV_TOP, rt));
    // The argument's slot is most often popped right after.
    if (TRV_UNTRACED && frame->status == 0 && end - ip > 8 && ip[8] == TRV_OP_pop) {
      TRV_POP_TEMPORARY();
      TRV_NEXT_QUICK(8 + 8);
    }
    TRV_NEXT(8);
  }
  TRV_CASE(call) {
    trv_vm_context* const callee = trv_call_execute(*frame);
    ip += 1;
    // A script call's frame runs next, unless the task is stopping.
    if (callee == nullptr || task.stop) TRV_NEXT(0);
    leave(*frame, ip);
    frame = callee;
    goto enter;
  }
  TRV_CASE(enter) {
    enter_block(*frame, block->children[static_cast<size_t>(trv_operand_a(ip))].get());
    TRV_NEXT(8);
  }
  TRV_CASE(default_arg) {
    const uint32_t parameter = trv_operand_small(ip);
    if (frame->argument_count > parameter) TRV_NEXT(2);
    if (frame->default_argument_in_progress) {
      // Back from the default-value block: its value is the top.
      frame->default_argument_in_progress = 0;
      TRV_NEED(1);
      if (TRV_TOP && parameter < block->local_count) trvvar_set(*frame->locals[parameter], TRV_TOP);
      TRV_NEXT(2);
    }
    trv_program_block* defaults = block->children[parameter - block->minimum_argument_count].get();
    // Refused at the frame limit inside a no-except block, the frame goes on past this
    // instruction with the parameter left as it is: coming back to it would repeat the refusal
    // for ever.
    if (!enter_block(*frame, defaults)) TRV_NEXT(2);
    // The frame resumes at this instruction, which then stores the value.
    frame->default_argument_in_progress = 1;
    TRV_NEXT(0);
  }
  TRV_CASE(catch) {
    if (task.pending_error && task.pending_error->type != TRVVAR_NONE) {
      trv_program_block* handler = block->children[static_cast<size_t>(trv_operand_a(ip))].get();
      trvvar_shared error = std::move(task.pending_error);
      task.pending_error = trvvar_new(rt);
      if (enter_block(*frame, handler) && handler->parameter_count == 1 &&
          handler->local_count > 0) {
        trvvar_set(*task.frames.back()->locals[0], error);
      }
    }
    TRV_NEXT(8);
  }
  TRV_CASE(enter_alt) {
    enter_block(*frame, block->alternative.get());
    TRV_NEXT(1);
  }
  TRV_CASE(bind_this) {
    TRV_NEED(1);
    trv_class_bind_this(*frame, *deref_slot(TRV_TOP, rt));
    TRV_NEXT(1);
  }
  TRV_CASE(this) {
    TRV_NEED(1);
    TRV_TOP = trv_class_this(*frame);
    TRV_NEXT(1);
  }
  TRV_CASE(member) {
    TRV_NEED(1);
    TRV_TOP = trv_class_bound_member(*frame, trv_operand_a(ip), trv_operand_b(ip) != 0);
    TRV_NEXT(12);
  }
  TRV_CASE(new_instance) {
    TRV_NEED(1);
    TRV_TOP = trv_class_new_instance(*frame);
    TRV_NEXT(1);
  }
  TRV_CASE(jump) { TRV_NEXT_QUICK(trv_operand_a(ip)); }
  TRV_CASE(jump_if_false) {
    TRV_NEED(1);
    if (const trvvar* v = plain_int(TRV_TOP)) {
      TRV_NEXT_QUICK(v->payload.int_value != 0 ? 8 : trv_operand_a(ip));
    }
    const bool truth = !trvvar_compare_zero(*deref_slot(TRV_TOP, rt));
    TRV_NEXT(truth ? 8 : trv_operand_a(ip));
  }
  TRV_CASE(jump_if_true) {
    TRV_NEED(1);
    if (const trvvar* v = plain_int(TRV_TOP)) {
      TRV_NEXT_QUICK(v->payload.int_value != 0 ? trv_operand_a(ip) : 8);
    }
    const bool truth = !trvvar_compare_zero(*deref_slot(TRV_TOP, rt));
    TRV_NEXT(truth ? trv_operand_a(ip) : 8);
  }
  TRV_CASE(break) {
    frame->status = 2;
    TRV_NEXT(1);
  }
  TRV_CASE(continue) {
    frame->status = 4;
    TRV_NEXT(1);
  }
  TRV_CASE(return ) {
    frame->status = 8;
    ip += 1;
    goto done;
  }
  TRV_CASE(get_member) {
    TRV_NEED(1);
    const std::string& name = block->unit->literals[static_cast<size_t>(trv_operand_a(ip))];
    trvvar_shared held;
    trvvar* value = &slot_value(TRV_TOP, held, rt);
    trv_member_cache_entry& cache = block->member_cache[static_cast<size_t>(trv_operand_b(ip))];
    // A method read to be called at once is prepared without its bound value: a script
    // method from the instance, which so stays alive until the call (its bound value holds it
    // weakly, and may be all that is left of a temporary), in every run; a native one from the
    // site's cache, and one called right away without arguments is called here, where a traced
    // run, which shows every instruction, takes the ordinary road.
    if (end - ip > 24 && ip[24] == TRV_OP_call_prepare) {
      const uint32_t count = trv_operand_small(ip + 24);
      static_assert(trv_opcode_table[TRV_OP_call_prepare].length == 2);
      if (TRV_UNTRACED && count == 0 && value->type != TRVVAR_CLASS && end - ip > 26 &&
          ip[26] == TRV_OP_call && call_cached_native(*frame, *value, cache, ip + 26)) {
        TRV_NEXT(24 + 2 + 1);
      }
      if (value->type == TRVVAR_CLASS
              ? trv_class_prepare_method(*frame, *value, ip, count)
              : TRV_UNTRACED && prepare_cached_native(*frame, *value, cache, count)) {
        TRV_NEXT(24 + trv_opcode_table[TRV_OP_call_prepare].length);
      }
      // A preparation that failed may have reported an error that replaced the operand the
      // value lived in (inside a no-except block).
      value = &slot_value(TRV_TOP, held, rt);
    }
    trvvar_shared member =
        value->type == TRVVAR_CLASS
            ? trv_class_get_member(*value, name, cache,
                                   trv_operand_pointer<const trv_class_def>(ip, 16))
            : member_by_literal(*value, name, cache);
    TRV_TOP = member ? std::move(member) : trvvar_new(rt);
    TRV_NEXT(24);
  }
  TRV_CASE(index) {
    TRV_NEED(2);
    trvvar_shared key = deref_slot(TRV_TOP, rt);
    TRV_POP();
    if (trv_operand_small(ip) == 0) {
      TRV_TOP = std::move(key);
      TRV_NEXT(16);
    }
    trvvar_shared container = deref_slot(TRV_TOP, rt);
    if (container->type == TRVVAR_CLASS &&
        !trv_class_key_allowed(*container, *key, trv_operand_pointer<const trv_class_def>(ip))) {
      TRV_TOP = trvvar_new(rt);
      TRV_NEXT(16);
    }
    trvvar_shared member = keyed_member(*container, *key);
    TRV_TOP = member ? std::move(member) : trvvar_new(rt);
    TRV_NEXT(16);
  }
  TRV_CASE(has_member) {
    TRV_NEED(1);
    const std::string& name = block->unit->literals[static_cast<size_t>(trv_operand_a(ip))];
    trvvar_shared value = deref_slot(TRV_TOP, rt);
    TRV_TOP = member_if_present(*value, name, rt);
    TRV_NEXT(8);
  }
  TRV_CASE(has_key) {
    TRV_NEED(2);
    trvvar_shared key = deref_slot(TRV_TOP, rt);
    TRV_POP();
    trvvar_shared container = deref_slot(TRV_TOP, rt);
    if (key->type == TRVVAR_INT || key->type == TRVVAR_FLOAT) {
      trv_log(TRV_LOG_ERROR, "TODO: return if json has index");
      trvvar_store_int(TRV_TOP, 0);
    } else {
      TRV_TOP = member_if_present(*container, trvvar_string_value(*key), rt);
    }
    TRV_NEXT(1);
  }
  TRV_CASE(append) {
    TRV_NEED(2);
    trvvar_shared value = std::move(materialized(TRV_TOP, rt));
    TRV_POP();
    trvvar_shared container = deref_slot(TRV_TOP, rt);
    if (container->type != TRVVAR_JSON) {
      trv_runtime_error("invalid variable.");
    } else {
      trvvar_shared entry = trv_json_add_keyless(*container->payload.object);
      trvvar_set(*entry, value);
    }
    TRV_NEXT(1);
  }
  TRV_CASE(new_json) {
    TRV_NEED(1);
    TRV_TOP = trvvar_new_carrying(TRVVAR_JSON, trv_new_json_object(), rt);
    TRV_NEXT(1);
  }
  TRV_CASE(teardown) {
    TRV_NEED(1);
    materialized(TRV_TOP, rt)->flags |= TRVVAR_FLAG_TEARDOWN;
    TRV_NEXT(1);
  }
  // `integer_value`, the result of the integer operator at `ip` whose right operand is gone,
  // goes into the top slot. A comparison followed by jump_if_false takes the jump itself, on the
  // flag as the jump would have read it; the block's check has made sure the jump is whole and
  // lands on an instruction start or the code end. Where the jump leads to a load of a local,
  // which replaces the top before anything reads it (a loop's condition and the body's first
  // statement), the flag is not stored at all.
comparison_result:
  if (TRV_UNTRACED && end - ip > 2 && ip[2] == TRV_OP_jump_if_false) {
    ip += 2;
    ip += integer_value != 0 ? 8 : trv_operand_a(ip);
    if (ip >= end || *ip != TRV_OP_load_local) trvvar_store_int(TRV_TOP, integer_value, rt, &spare);
    TRV_NEXT_QUICK(0);
  }
  trvvar_store_int(TRV_TOP, integer_value, rt, &spare);
  TRV_NEXT_QUICK(2);
arithmetic_result:
  trvvar_store_int(TRV_TOP, integer_value, rt, &spare);
  TRV_NEXT_QUICK(1);
  TRV_INVALID {
    fatal_error(*frame, trv_message("invalid instruction: ", static_cast<int>(*ip)));
    goto done;
  }
#if !TRV_COMPUTED_GOTO
}
}
#endif

done : if (trv_vm_context* next = next_frame(*frame, ip)) {
  frame = next;
  goto enter;
}
return leave(*frame, ip);
}
