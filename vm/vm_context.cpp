#include "vm/vm_context.h"

#include <algorithm>

#include "objects/function_def.h"
#include "values/assign.h"
#include "values/pooled.h"
#include "values/var_vectors.h"
#include "vm/program_block.h"

namespace {

const trv_pool_kind_registration<trv_vm_context> call_frame_pool;

}  // namespace

trvobject_base* trv_context_native_object(trv_vm_context& context) { return context.native_object; }

trv_vm_context* trv_vm_context_create(trv_task* task, trv_task* scope, trv_program_block* block,
                                      uint32_t local_count,
                                      const trvptr_weak<trvobject_base>& bound_object) {
  return trv_vm_context_create(task, scope, block, local_count, bound_object,
                               trv_owned_runtime(trv_get_thread_local()));
}

void trv_vm_context_grow_locals(trv_vm_context* context, uint32_t local_count, trv_runtime* owned) {
  try {
    while (context->locals.size() < local_count) context->locals.push_back(trvvar_new(owned));
  } catch (...) {
    trv_vm_context_release(context, owned);
    throw;
  }
}

void trv_vm_context_release(trv_vm_context* context) { trv_vm_context_release(context, nullptr); }

void trv_vm_context_capture(trv_vm_context& context, trvvar_ptr_function_lambda* captures) {
  const trv_program_block& block = *context.block;
  if (captures == nullptr || block.capture_count == 0 || captures->size() != block.capture_count ||
      block.parameter_count + block.capture_count > block.local_count) {
    return;
  }
  for (uint32_t i = 0; i < block.capture_count; ++i) {
    trvvar_set(*context.locals[block.parameter_count + i], (*captures)[i]);
  }
}

void trv_vm_context_park(trv_vm_context& context, trv_runtime* owned) {
  const uint32_t parameters = context.block->parameter_count;
  // Slots past the block's were reset when the context last went back to its pool, and no
  // index of this use reached them.
  const size_t used = std::min<size_t>(context.locals.size(), context.block->local_count);
  for (uint32_t i = 0; i < used; ++i) {
    trvvar_shared& local = context.locals[i];
    if (!local) continue;
    if (i < parameters) {
      const std::string* text = trv_sole_string_text(*local);
      if (text != nullptr && text->capacity() <= trv_string_kept_capacity) continue;
    }
    trv_vm_context_reset_local(local, owned);
  }
}
