#include "glue/object_ptr.h"

trvptr_control_block* trvptr_base_internal::attach_new_control_block() {
  attach_control_block(trv_control_block_allocate(pooled_control_block_allowed()));
  return control_block;
}

void trvptr_base_internal::attach_control_block(trvptr_control_block* block) noexcept {
  block->object = this;
  block->alive = 1;
  control_block = block;
}

void trvptr_base_internal::detach_from_block() noexcept {
  trvptr_control_block* b = control_block;
  if (b == nullptr) return;
  control_block = nullptr;
  b->object = nullptr;
  if (b->strong_count == 0 && b->weak_count == 0) trv_control_block_free(b);
}

namespace trvptr_detail {

void release_strong_slow(trvptr_control_block* b) {
  if (trvptr_base_internal* object = b->object) {
    // The block reads as dead before the object runs any code of its own, so a pointer that
    // the object's members hold to itself cannot revive it.
    b->object = nullptr;
    b->alive = 0;
    object->detach();
    object->release();
    return;
  }
  if (b->weak_count == 0) trv_control_block_free(b);
}

void release_weak_slow(trvptr_control_block* b) { trv_control_block_free(b); }

}  // namespace trvptr_detail
