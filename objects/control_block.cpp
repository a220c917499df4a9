#include "objects/object_ptr.h"

// Control blocks come from the heap; the runtime's control-block pool takes over on the
// thread that owns a runtime once pools exist.
trvptr_control_block* trv_control_block_allocate(bool /*pooled_allowed*/) {
  return new trvptr_control_block{nullptr, 0, 0, 1, trv_heap_tag};
}

void trv_control_block_free(trvptr_control_block* block) {
  block->alive = 0;
  if (block->pool_tag == trv_heap_tag) delete block;
}
