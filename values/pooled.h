#pragma once

// Where the runtime's elements come from and go back to.
//
// A new element comes from its pool when the calling thread owns its runtime, else from the
// heap with pool tag 255. Releasing destroys a heap element and frees it; a pooled element goes
// back to its pool: directly on the owning thread, else through the pool's return ring, and
// when the ring is full under the runtime lock.

#include <new>
#include <type_traits>

#include "glue/object_ptr.h"
#include "glue/thread_local.h"
#include "values/pool.h"
#include "values/runtime.h"
#include "values/runtime_lock.h"
#include "values/var.h"

// The mark of a class whose objects come from a runtime's object pool: the index of the
// object's slot in its pool chunk, 255 for an object from the heap. Such a class overrides
// release() to empty the object and hand it to trv_pooled_release.
struct trv_pooled_class {
  uint8_t pool_tag = trv_heap_tag;
};

// The pool of each pooled element type, from values/pools.def.
#define TRV_VALUE_POOL(NAME, ELEMENT, CHECKED) struct ELEMENT;
#define TRV_CLASS_POOL(NAME, ELEMENT, CHECKED) class ELEMENT;
#include "values/pools.def"
#undef TRV_CLASS_POOL
#undef TRV_VALUE_POOL
#define TRV_VALUE_POOL(NAME, ELEMENT, CHECKED) \
  template <>                                  \
  struct trv_pool_of<ELEMENT> : std::integral_constant<trv_pool_id, TRV_POOL_##NAME> {};
#define TRV_CLASS_POOL TRV_VALUE_POOL
#include "values/pools.def"
#undef TRV_CLASS_POOL
#undef TRV_VALUE_POOL

namespace trv_pooled_detail {

// A pooled element released on a thread that has no runtime has no pool to go to.
void report_without_runtime();

// The return ring is full: become the owner for a moment and free directly.
template <class T>
void free_under_lock(trv_runtime& rt, trv_thread_local& tl, T* element) {
  trv_runtime_lock_guard owner(rt, tl);
  trv_pool_free(rt.pools[trv_pool_of<T>::value].pool, element);
}

}  // namespace trv_pooled_detail

// A new element of T's pool; null only when the pool could not make a chunk (reported).
// `owned` is the calling thread's owned runtime or null, for callers that look it up once for
// many elements.
template <class T>
T* trv_pooled_new(trv_runtime* owned) {
  if (owned != nullptr) return trv_pool_allocate<T>(owned->pools[trv_pool_of<T>::value].pool);
  return new T();
}

template <class T>
T* trv_pooled_new() {
  return trv_pooled_new<T>(trv_owned_runtime(trv_get_thread_local()));
}

// A new object of pooled class T with its control block, the block counting the returned
// pointer; both come from the pools of `owned` (the calling thread's owned runtime, looked up
// once: values are made at a high rate), or from the heap when it is null. Empty when T's pool
// could not grow (reported).
template <class T>
trvptr_strong<T> trv_pooled_new_shared(trv_runtime* owned) {
  if (owned == nullptr) return trvptr_strong<T>::from_new(new T());
  T* object = trv_pool_allocate<T>(owned->pools[trv_pool_of<T>::value].pool);
  if (object == nullptr) return {};
  trvptr_control_block* block =
      trv_pool_allocate<trvptr_control_block>(owned->pools[TRV_POOL_CONTROL_BLOCKS].pool);
  if (block == nullptr) {
    trv_pool_free(owned->pools[trv_pool_of<T>::value].pool, object);
    throw std::bad_alloc();
  }
  object->attach_control_block(block);
  block->strong_count = 1;  // a pooled block comes back with both counts 0
  return trvptr_strong<T>::adopt(block);
}

template <class T>
trvptr_strong<T> trv_pooled_new_shared() {
  return trv_pooled_new_shared<T>(trv_owned_runtime(trv_get_thread_local()));
}

template <class T>
void trv_pooled_release(T* element) {
  if (element->pool_tag == trv_heap_tag) {
    delete element;
    return;
  }
  trv_thread_local& tl = trv_get_thread_local();
  trv_runtime* rt = tl.runtime_state;
  if (rt == nullptr) {
    trv_pooled_detail::report_without_runtime();
    return;
  }
  trv_runtime_pool& home = rt->pools[trv_pool_of<T>::value];
  if (rt->owner_thread_id.load(std::memory_order_relaxed) == tl.thread_id) {
    trv_pool_free(home.pool, element);
  } else if (!trv_return_ring_push(home.ring, element)) {
    trv_pooled_detail::free_under_lock(*rt, tl, element);
  }
}

// The same for a caller that already knows the runtime its thread owns (null: none known,
// then the thread's state decides as above).
template <class T>
void trv_pooled_release(T* element, trv_runtime* owned) {
  if (owned != nullptr && element->pool_tag != trv_heap_tag) {
    trv_pool_free(owned->pools[trv_pool_of<T>::value].pool, element);
    return;
  }
  trv_pooled_release(element);
}
