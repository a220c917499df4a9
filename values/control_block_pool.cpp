#include <new>

#include "glue/object_ptr.h"
#include "values/pooled.h"

// A pooled block is handed out as its last free left it: no object, both counts 0.
trvptr_control_block* trv_control_block_allocate(bool pooled_allowed) {
  trvptr_control_block* block =
      pooled_allowed ? trv_pooled_new<trvptr_control_block>() : new trvptr_control_block();
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void trv_control_block_free(trvptr_control_block* block) {
  block->alive = 0;
  trv_pooled_release(block);
}
