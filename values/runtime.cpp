#include "values/runtime.h"

#include <cassert>

#include "glue/log.h"
#include "values/object.h"
#include "values/pooled.h"
#include "values/runtime_lock.h"
#include "values/var.h"

namespace {

// Every object a checked pool constructed with its chunks, the higher pools first: a call frame
// releases its locals into the variable pool, whose records must still be alive then.
void destroy_pooled_elements(trv_runtime& rt) {
  for (size_t id = trv_pool_count; id-- > 0;) {
    const trv_pool_kind& kind = trv_pool_kind_of(static_cast<trv_pool_id>(id));
    if (kind.destroy_elements == nullptr) continue;
    for (std::byte* block : rt.pools[id].pool.chunks) kind.destroy_elements(block);
  }
}

// The scheduled and waiting tasks, which hold frames and variables from the pools.
void drop_tasks(trv_runtime& rt) {
  rt.schedule_heap.clear();
  rt.waiting.take_all();
}

// Records that outlived every script hold one another in a cycle (a container holding itself,
// a closure capturing its own variable by reference). Each becomes none while every pool is
// alive, so that what it held goes the ordinary way and the cycles come apart; destroyed as they
// are, they would release one another from within their own destruction. A checked pool's
// elements are always constructed, and a free record is none. Chunks are re-read by index: a
// release frees elements, never chunks.
void release_cycles(trv_runtime& rt) {
  const std::vector<std::byte*>& chunks = rt.pools[TRV_POOL_VARIABLES].pool.chunks;
  for (size_t c = 0; c < chunks.size(); ++c) {
    const trv_chunk chunk(chunks[c], trv_pool_layout<trvvar>);
    for (uint32_t i = 0; i < trv_chunk_elements; ++i) {
      trvvar& v = *chunk.element_as<trvvar>(i);
      if (v.type >= TRVVAR_STRING) trvvar_set_type(v, TRVVAR_NONE);
    }
  }
}

// Instances that outlived every script: members of reference cycles, or instances whose
// destructor task never finished. Each is released as if its last pointer went (its class is
// gone by now, so no destructor runs), which frees what its members held; one whose release
// had begun already is freed outright.
void release_script_instances(trv_runtime& rt) {
  if (rt.script_instances.empty()) return;
  trv_log(TRV_LOG_WARNING, rt.script_instances.size(),
          " script class instances are still referenced at shutdown (reference cycle); "
          "releasing them.");
  while (!rt.script_instances.empty()) {
    trvptr_base_internal* instance = *rt.script_instances.begin();
    instance->detach();
    instance->release();
    if (rt.script_instances.erase(instance) != 0) delete instance;
  }
}

}  // namespace

trv_runtime::~trv_runtime() {
  trv_thread_local& tl = trv_get_thread_local();
  trv_runtime* const previous = tl.runtime_state;
  tl.runtime_state = this;
  {
    trv_runtime_lock_guard owner(*this, tl);
    drop_tasks(*this);
    trv_job_rings_clear(thread_pool, completions);
    trv_runtime_process_deferred(*this);
    deferred_destroy.clear();  // nothing runs elsewhere any more
    release_script_instances(*this);
    release_cycles(*this);
    drop_tasks(*this);  // those releases may have woken some
    trv_runtime_drain_returns(*this);
    destroy_pooled_elements(*this);
    log.reset();  // its control block may be pooled
    assert(trv_runtime_pools_empty(*this) &&
           "every pooled element must be released before its runtime is destroyed");
  }
  tl.runtime_state = previous == this ? nullptr : previous;
}

size_t trv_runtime_drain_returns(trv_runtime& rt) {
  size_t drained = 0;
  for (size_t id = 0; id < trv_pool_count; ++id) {
    trv_runtime_pool& home = rt.pools[id];
    const trv_pool_kind& kind = trv_pool_kind_of(static_cast<trv_pool_id>(id));
    drained +=
        trv_return_ring_drain(home.ring, [&](void* element) { kind.free(home.pool, element); });
  }
  return drained;
}

void trv_runtime_process_deferred(trv_runtime& rt) {
  // Destroying an object can queue others; they wait for the next round.
  std::vector<trvptr_strong<trvobject_base>> queued = std::move(rt.deferred_destroy);
  rt.deferred_destroy.clear();
  for (trvptr_strong<trvobject_base>& held : queued) {
    trvobject_base* object = held.get();
    if (object == nullptr) continue;
    if (object->use_counter != 0) {
      rt.deferred_destroy.push_back(std::move(held));
      continue;
    }
    trvvar_end_object(*object);
  }
}

bool trv_runtime_pools_empty(const trv_runtime& rt) {
  for (const trv_runtime_pool& home : rt.pools) {
    if (home.pool.live_count != 0) return false;
  }
  return true;
}
