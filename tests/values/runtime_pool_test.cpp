#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "glue/thread_local.h"
#include "objects/object_binding.h"
#include "stdlib/json/json_string_list.h"
#include "stdlib/string/std_string.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/owned_runtime.h"
#include "tests/support/test_values.h"
#include "values/payloads.h"
#include "vm/vm_context.h"

namespace {

struct runtime_probe : trvobject<runtime_probe, "test.runtime_probe">,
                       trvptr_type_tag<runtime_probe> {
  explicit runtime_probe(int* destroyed) : destroyed(destroyed) {}
  ~runtime_probe() override { ++*destroyed; }
  int* destroyed;
};

trv_std_string& string_object(const trvvar_shared& v) {
  return static_cast<trv_std_string&>(*v->payload.object);
}

// Runs `work` on a thread of its own that has the runtime as its runtime but does not own it.
template <class Work>
void on_other_thread(trv_runtime& rt, Work work) {
  std::thread([&] {
    trv_get_thread_local().runtime_state = &rt;
    work();
    trv_get_thread_local().runtime_state = nullptr;
  }).join();
}

// String, binary and json values: record, carrying object and its control block all come
// from the pools on the owning thread and from the heap elsewhere.
TEST(RuntimePools, TheOwnerAllocatesFromThePoolsOtherThreadsFromTheHeap) {
  owned_runtime owned;
  std::vector<trvvar_shared> values;
  for (trvvar_type type : {TRVVAR_STRING, TRVVAR_BINARY, TRVVAR_JSON})
    values.push_back(of_type(type));
  for (const trvvar_shared& v : values) {
    EXPECT_NE(v->pool_tag, trv_heap_tag);
    EXPECT_NE(v->payload.object.control_block()->pool_tag, trv_heap_tag);
  }
  EXPECT_NE(string_object(values[0]).pool_tag, trv_heap_tag);
  EXPECT_EQ(owned.pool(TRV_POOL_VARIABLES).live_count, 3u);
  EXPECT_EQ(owned.pool(TRV_POOL_CONTROL_BLOCKS).live_count, 3u);
  for (trv_pool_id id : {TRV_POOL_STRING_OBJECTS, TRV_POOL_BUFFER_OBJECTS, TRV_POOL_JSON_OBJECTS}) {
    EXPECT_EQ(owned.pool(id).live_count, 1u) << id;
  }

  on_other_thread(owned.runtime(), [] {
    trvvar_shared elsewhere = string_of("heap");
    EXPECT_EQ(elsewhere->pool_tag, trv_heap_tag);
    EXPECT_EQ(string_object(elsewhere).pool_tag, trv_heap_tag);
    EXPECT_EQ(elsewhere->payload.object.control_block()->pool_tag, trv_heap_tag);
  });
  EXPECT_EQ(owned.pool(TRV_POOL_VARIABLES).live_count, 3u);

  values.clear();
  EXPECT_TRUE(trv_runtime_pools_empty(owned.runtime()));
}

// A recycled object is the one the pool hands out next; it keeps up to 1024 bytes of storage.
TEST(RuntimePools, ARecycledStringKeepsUpTo1024BytesOfStorage) {
  owned_runtime owned;
  trvvar_shared small = string_of(std::string(1000, 'a'));
  trv_std_string* object = &string_object(small);
  small.reset();
  trvvar_shared again = string_of("");
  ASSERT_EQ(&string_object(again), object);
  EXPECT_GE(object->text.capacity(), 1000u);

  object->text.assign(1025, 'b');
  again.reset();
  trvvar_shared third = string_of("");
  ASSERT_EQ(&string_object(third), object);
  EXPECT_LT(object->text.capacity(), 1024u);
}

// A released container gives the numbers and strings only it holds straight back to the
// pools; a value shared in any way (another handle, a strong or weak pointer to its object, a
// flag) takes the general path and stays intact for its other holders.
TEST(RuntimePools, AReleasedContainerRecyclesItsUnsharedValuesAndSparesSharedOnes) {
  owned_runtime owned;
  trv_json_string_list parts;
  for (std::string_view part : {"a", "b", "c", "d", "e"}) parts.add(part);
  trvvar_shared list = parts.take();
  trv_std_json& container = *trv_json_of(*list);
  trvvar_set_int(*container.add_keyless(), 7);
  trvvar_shared shared_int = container.add_keyless();
  trvvar_set_int(*shared_int, 8);
  const trv_json_entry_vector& entries = container.entries;
  for (const trv_json_entry& e : entries) EXPECT_NE(e.value->pool_tag, trv_heap_tag);
  trv_std_string* recycled = &string_object(entries[0].value);
  string_object(entries[0].value).text.assign(2000, 'x');

  trvvar_shared shared_var = entries[1].value;
  trvptr_strong<trvobject_base> strong_object = entries[2].value->payload.object;
  trvptr_weak<trvobject_base> weak_object = entries[3].value->payload.object;
  entries[4].value->flags |= TRVVAR_FLAG_BY_REFERENCE;
  list.reset();

  EXPECT_EQ(string_object(shared_var).text, "b");
  EXPECT_EQ(shared_int->payload.int_value, 8);
  EXPECT_EQ(static_cast<trv_std_string&>(*strong_object).text, "c");
  EXPECT_TRUE(weak_object.expired());
  EXPECT_TRUE(recycled->text.empty());
  EXPECT_LT(recycled->text.capacity(), 1024u);
  EXPECT_EQ(owned.pool(TRV_POOL_VARIABLES).live_count, 2u);
  EXPECT_EQ(owned.pool(TRV_POOL_STRING_OBJECTS).live_count, 2u);
  EXPECT_EQ(owned.pool(TRV_POOL_CONTROL_BLOCKS).live_count, 3u);  // the weak pointer keeps one

  shared_var.reset();
  shared_int.reset();
  strong_object.reset();
  weak_object.reset();
  EXPECT_TRUE(trv_runtime_pools_empty(owned.runtime()));
}

// The other thread gives back one record more than the ring holds; the last one goes straight
// to the pool under the runtime lock, the others wait in the ring for the owner, each in a slot
// of its own.
TEST(RuntimePools, AFullReturnRingFallsBackToTheRuntimeLock) {
  owned_runtime owned;
  constexpr uint32_t count = trv_return_ring::capacity + 1;
  std::vector<trvvar_shared> vars;
  for (uint32_t i = 0; i < count; ++i) vars.push_back(trvvar_new());
  owned.give_up_ownership();

  on_other_thread(owned.runtime(), [&] {
    vars.clear();
    EXPECT_EQ(trv_get_thread_local().pool_lock_depth, 0u);
  });
  EXPECT_EQ(owned.runtime().owner_thread_id.load(), 0u);
  EXPECT_EQ(trv_return_ring_size(owned.ring(TRV_POOL_VARIABLES)), trv_return_ring::capacity);
  EXPECT_EQ(owned.pool(TRV_POOL_VARIABLES).live_count, trv_return_ring::capacity);

  owned.take_ownership();
  EXPECT_EQ(trv_runtime_drain_returns(owned.runtime()), trv_return_ring::capacity);
  EXPECT_EQ(trv_return_ring_size(owned.ring(TRV_POOL_VARIABLES)), 0u);
  EXPECT_EQ(owned.pool(TRV_POOL_VARIABLES).live_count, 0u);
}

TEST(ReturnRing, DrainsInOrderAndStopsAtAClaimedButEmptySlot) {
  auto ring = std::make_unique<trv_return_ring>();
  int elements[3];
  for (int& e : elements) ASSERT_TRUE(trv_return_ring_push(*ring, &e));
  ring->head.fetch_add(1);  // a producer has claimed the next position but not yet stored
  ASSERT_TRUE(trv_return_ring_push(*ring, &elements[0]));
  std::vector<void*> drained;
  EXPECT_EQ(trv_return_ring_drain(*ring, [&](void* e) { drained.push_back(e); }), 3u);
  EXPECT_EQ(drained, (std::vector<void*>{&elements[0], &elements[1], &elements[2]}));
  EXPECT_EQ(trv_return_ring_size(*ring), 2u);
  ring->slots[trv_return_ring_slot(3)].store(&elements[1]);  // the late producer stores
  EXPECT_EQ(trv_return_ring_drain(*ring, [&](void* e) { drained.push_back(e); }), 2u);
  EXPECT_EQ(drained.back(), &elements[0]);
}

TEST(DeferredDestroy, ATornDownObjectInUseWaitsUntilItsUseCounterFalls) {
  owned_runtime owned;
  int destroyed = 0;
  auto* object = new runtime_probe(&destroyed);
  object->use_counter = 1;
  trvvar_shared v = object_of(object);
  v->flags |= TRVVAR_FLAG_TEARDOWN;
  v.reset();
  EXPECT_EQ(owned.runtime().deferred_destroy.size(), 1u);

  trv_runtime_process_deferred(owned.runtime());
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(owned.runtime().deferred_destroy.size(), 1u);

  object->use_counter = 0;
  trv_runtime_process_deferred(owned.runtime());
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(owned.runtime().deferred_destroy.empty());
}

TEST(CallFrames, ARecycledFrameKeepsItsLocalsReset) {
  owned_runtime owned;
  trv_vm_context* frame = trv_vm_context_create(nullptr, nullptr, nullptr, 3, {});
  EXPECT_EQ(frame->refcount, 1);
  EXPECT_NE(frame->pool_tag, trv_heap_tag);
  ASSERT_EQ(frame->locals.size(), 3u);
  trvvar* unshared = frame->locals[0].get();
  trvvar_set_int(*unshared, 5);
  unshared->flags = TRVVAR_FLAG_BY_REFERENCE;
  trvvar_shared kept = frame->locals[1];
  trvvar_set_int(*kept, 7);
  frame->argument_count = 2;
  trv_vm_context_release(frame);
  EXPECT_EQ(owned.pool(TRV_POOL_CALL_FRAMES).live_count, 0u);

  trv_vm_context* again = trv_vm_context_create(nullptr, nullptr, nullptr, 2, {});
  ASSERT_EQ(again, frame);
  ASSERT_EQ(again->locals.size(), 3u);
  EXPECT_EQ(again->locals[0].get(), unshared);
  EXPECT_EQ(unshared->type, TRVVAR_NONE);
  EXPECT_EQ(unshared->flags, 0);
  EXPECT_NE(again->locals[1].get(), kept.get());
  EXPECT_EQ(kept->payload.int_value, 7);
  EXPECT_EQ(again->argument_count, 0u);
  trv_vm_context_release(again);
}

// A frame's release gives a string that only its local holds straight back to the pools and
// leaves alone one that something else still holds: its object through a strong pointer, or
// its record. A weak pointer does not keep the object.
TEST(CallFrames, AReleasedFrameRecyclesItsUnsharedStringsAndSparesSharedOnes) {
  owned_runtime owned;
  trv_runtime* const rt = &owned.runtime();
  trv_vm_context* frame = trv_vm_context_create(nullptr, nullptr, nullptr, 4, {}, rt);
  std::vector<trvvar_shared>& locals = frame->locals;
  for (size_t i = 0; i < 4; ++i) locals[i] = trv_new_string_var(std::string(1, 'a' + i), rt);
  trvptr_strong<trvobject_base> strong_object = locals[1]->payload.object;
  trvptr_weak<trvobject_base> weak_object = locals[2]->payload.object;
  trvvar_shared shared_record = locals[3];

  trv_vm_context_release(frame, rt);
  EXPECT_EQ(static_cast<trv_std_string&>(*strong_object).text, "b");
  EXPECT_TRUE(weak_object.expired());
  EXPECT_EQ(string_object(shared_record).text, "d");
  EXPECT_EQ(owned.pool(TRV_POOL_STRING_OBJECTS).live_count, 2u);

  strong_object.reset();
  weak_object.reset();
  shared_record.reset();
  EXPECT_EQ(owned.pool(TRV_POOL_STRING_OBJECTS).live_count, 0u);
}

// Destroying the runtime destroys every object its pools made, with whatever storage recycled
// objects and frames still hold; LeakSanitizer would see anything left behind.
TEST(RuntimeTeardown, DestroysEveryPooledObject) {
  capturing_logger* log = new capturing_logger();
  trvptr_strong<trv_log_base> held = trvptr_strong<trv_log_base>::from(log);
  {
    owned_runtime owned;
    owned.runtime().log = held;
    string_of(std::string(500, 'x'));
    trv_vm_context_release(trv_vm_context_create(nullptr, nullptr, nullptr, 4, {}));
    trvvar_shared text = string_of("released elsewhere");
    owned.give_up_ownership();
    on_other_thread(owned.runtime(), [&] { text.reset(); });
    EXPECT_EQ(trv_return_ring_size(owned.ring(TRV_POOL_VARIABLES)), 1u);
  }
  EXPECT_EQ(trv_get_thread_local().runtime_state, nullptr);
  EXPECT_TRUE(log->all().empty());
}

}  // namespace
