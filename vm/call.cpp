#include "vm/call.h"

#include <exception>
#include <functional>

#include "objects/function_def.h"
#include "values/assign.h"
#include "values/object.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/report.h"
#include "vm/class_runtime.h"
#include "vm/task.h"

namespace {

// Arguments one call can take; a count beyond it comes only from broken code.
constexpr int64_t max_call_arguments = 65535;

bool count_fits(const trv_function_def& definition, size_t count) {
  if (count < definition.min_params) return false;
  return definition.max_params == trv_any_param_count || count <= definition.max_params;
}

// A class is called through its constructor.
[[gnu::noinline]] bool prepare_constructor(trv_vm_context& caller, trvvar& class_value,
                                           uint32_t count) {
  trvvar_shared constructor = trv_class_constructor(caller, class_value);
  return constructor && trv_call_prepare_script(caller, *constructor, count);
}

// Opens the argument list of a native call and makes it the newest pending call.
bool open_native_call(trv_vm_context& caller, trvptr_strong<trv_function_def> definition,
                      trvptr_strong<trvobject_base> bound_object, uint32_t count) {
  trv_task& task = *caller.task;
  if (!trv_arguments_open(task, count)) return false;
  task.native_calls.push_back(
      trv_native_call{std::move(definition), std::move(bound_object), task.argument_depth});
  task.pending_calls.push_back({&caller, trv_pending_native});
  return true;
}

[[gnu::noinline]] bool prepare_native(trv_vm_context& caller, trvvar& callee, uint32_t count) {
  trvvar_ext_function_payload& function = *callee.payload.ext_function_payload;
  trvptr_strong<trv_function_def> definition = function.definition.lock();
  if (!definition) {
    trv_runtime_error("not a function!");
    return false;
  }
  if (!count_fits(*definition, count)) {
    trv_runtime_error("invalid parameter count ", count, " min: ", definition->min_params,
                      " max: ", definition->max_params);
    return false;
  }
  return open_native_call(caller, std::move(definition), function.bound_object, count);
}

// A native call's result replaces the top of the operand stack, where the callee was.
void store_result(trv_task& task, trvvar_shared result) {
  if (!task.stack.empty()) task.stack.back() = std::move(result);
}

}  // namespace

trvvar_shared trv_call_native(trv_vm_context& caller, const trv_function_def& definition,
                              trvobject_base* object, std::vector<trvvar_shared>& args) {
  if (!count_fits(definition, args.size())) {
    trv_runtime_error("invalid parameter count ", args.size(), " min: ", definition.min_params,
                      " max: ", definition.max_params);
    return {};
  }
  // Natives read every argument; a slot the code never filled reads as none.
  for (trvvar_shared& arg : args) {
    if (!arg) arg = trvvar_new();
  }
  trvobject_base* const previous = caller.native_object;
  caller.native_object = object;
  const trvobject_use in_use(object);
  trvvar_shared result;
  try {
    if (!definition.native_callback) throw std::bad_function_call();
    result = definition.native_callback(caller, args);
  } catch (const std::exception& error) {
    caller.native_object = previous;
    trv_runtime_error(definition.name, ": ", error.what());
    return {};
  } catch (...) {
    caller.native_object = previous;
    trv_runtime_error(definition.name, ": unknown native exception");
    return {};
  }
  caller.native_object = previous;
  return result;
}

bool trv_call_report_not_callable() {
  trv_runtime_error("not a function!");
  return false;
}

bool trv_call_report_too_deep() {
  trv_runtime_error("Maximum call depth exceeded.");
  return false;
}

bool trv_call_report_argument_count(const trv_program_block& block, uint32_t count) {
  trv_runtime_error("invalid argument count: num_params=", static_cast<int32_t>(count),
                    ", fn_num_params=", static_cast<int32_t>(block.parameter_count),
                    ", fn_default_args=", static_cast<int32_t>(block.minimum_argument_count));
  return false;
}

bool trv_arguments_open(trv_task& task, int64_t count) {
  if (count < 0 || count > max_call_arguments) {
    trv_runtime_error("invalid argument list size ", count, ".");
    return false;
  }
  const size_t depth = static_cast<size_t>(++task.argument_depth);
  while (task.argument_lists.size() <= depth) {
    task.argument_lists.push_back(trvptr_strong<trvvector_shared<trvvar_shared>>::from_new(
        new trvvector_shared<trvvar_shared>()));
  }
  std::vector<trvvar_shared>& list = *task.argument_lists[depth];
  list.clear();
  list.resize(static_cast<size_t>(count));
  return true;
}

bool trv_call_prepare_other(trv_vm_context& caller, trvvar& callee, uint32_t argument_count) {
  switch (callee.type) {
    case TRVVAR_EXT_FUNCTION:
      return prepare_native(caller, callee, argument_count);
    case TRVVAR_CLASS_DEF:
      return prepare_constructor(caller, callee, argument_count);
    default:
      return trv_call_report_not_callable();
  }
}

bool trv_call_prepare_method(trv_vm_context& caller, trv_function_def& definition,
                             trvobject_base& object, uint32_t argument_count) {
  if (!count_fits(definition, argument_count)) return false;
  return open_native_call(caller, trvptr_strong<trv_function_def>::from(&definition),
                          trvptr_strong<trvobject_base>::from(&object), argument_count);
}

bool trv_call_method_now(trv_vm_context& caller, trv_function_def& definition,
                         trvobject_base& object) {
  if (!count_fits(definition, 0)) return false;
  // The object lives through the call, whatever the call does to the value it came from.
  const trvptr_strong<trvobject_base> bound = trvptr_strong<trvobject_base>::from(&object);
  std::vector<trvvar_shared> no_arguments;
  store_result(*caller.task, trv_call_native(caller, definition, &object, no_arguments));
  return true;
}

bool trv_call_prepare_bound(trv_vm_context& caller, trv_program_block& block, trv_task* scope,
                            const trvptr_weak<trvobject_base>& bound_object,
                            uint32_t argument_count) {
  return trv_call_detail::script_count_fits(block, argument_count) &&
         trv_call_detail::open_script_call(caller, block, scope, bound_object, nullptr,
                                           argument_count);
}

void trv_call_store_any_argument(trv_vm_context& caller, uint32_t index, trvvar_shared& value) {
  trv_task& task = *caller.task;
  if (task.pending_calls.empty() || !value) {
    trv_runtime_error("invalid variable.");
    return;
  }
  const trv_pending_kind kind = task.pending_calls.back().kind;
  if (kind == trv_pending_skipped) return;
  if (kind == trv_pending_native) {
    const trv_native_call& call = task.native_calls.back();
    std::vector<trvvar_shared>& list = *task.argument_lists[static_cast<size_t>(call.depth)];
    if (index >= list.size()) {
      trv_runtime_error("index out of range!");
      return;
    }
    const bool deref = (call.definition->native_marker & TRV_NATIVE_DEREF_ARGUMENTS) != 0;
    list[index] = deref ? trvvar_deref_cheap(value.get()) : value;
    return;
  }
  trv_vm_context& frame = *task.prepared.back();
  if (index >= frame.block->local_count) {
    trv_runtime_error("index out of range!");
    return;
  }
  trv_call_store_parameter(frame, index, value, false);
}

void trv_call_execute_native(trv_vm_context& caller) {
  trv_task& task = *caller.task;
  if (task.pending_calls.empty()) {
    trv_runtime_error("no call was prepared.");
    return;
  }
  const trv_pending_kind kind = task.pending_calls.back().kind;
  task.pending_calls.pop_back();
  if (kind == trv_pending_skipped) {
    store_result(task, trvvar_new());
    return;
  }
  const trv_native_call call = std::move(task.native_calls.back());
  task.native_calls.pop_back();
  std::vector<trvvar_shared>& list = *task.argument_lists[static_cast<size_t>(call.depth)];
  trvvar_shared result = trv_call_native(caller, *call.definition, call.bound_object.get(), list);
  list.clear();
  task.argument_depth = call.depth - 1;
  store_result(task, std::move(result));
}
