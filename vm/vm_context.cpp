#include "vm/vm_context.h"

#include <new>

#include "objects/function_def.h"
#include "values/pooled.h"

namespace {

const trv_pool_kind_registration<trv_vm_context> call_frame_pool;

void reset_locals(std::vector<trvvar_shared>& locals) {
  for (trvvar_shared& local : locals) {
    if (local && local->refcount == 1) {
      trvvar_set_type(*local, TRVVAR_NONE);
      local->flags = 0;
      local->flags2 = 0;
    } else {
      local = trvvar_new();
    }
  }
}

}  // namespace

trvobject_base* trv_context_native_object(trv_vm_context& context) { return context.native_object; }

trv_vm_context* trv_vm_context_create(trv_task* task, trv_task* scope, trv_program_block* block,
                                      uint32_t local_count,
                                      const trvptr_weak<trvobject_base>& bound_object) {
  trv_vm_context* context = trv_pooled_new<trv_vm_context>();
  if (context == nullptr) throw std::bad_alloc();
  context->refcount = 1;
  context->task = task;
  context->scope = scope;
  context->block = block;
  try {
    while (context->locals.size() < local_count) context->locals.push_back(trvvar_new());
  } catch (...) {
    trv_vm_context_release(context);
    throw;
  }
  context->saved_position = 0;
  context->stack_depth = 0;
  context->argument_count = 0;
  context->default_argument_in_progress = 0;
  context->running = 0;
  context->pending_operator_mode = 0;
  context->bound_object = bound_object;
  return context;
}

void trv_vm_context_release(trv_vm_context* context) {
  if (--context->refcount > 0) return;
  reset_locals(context->locals);
  context->bound_object.reset();
  trv_pooled_release(context);
}
