#include <gtest/gtest.h>

#include "glue/object_ptr.h"
#include "objects/function_def.h"

namespace {

struct tracked : trvptr_base<tracked> {
  explicit tracked(int* destroyed) : destroyed(destroyed) {}
  ~tracked() override { ++*destroyed; }
  int* destroyed;
  trvptr_strong<tracked> self;     // lets an object own the last reference to itself
  trvptr_weak<tracked> weak_self;  // released while the object is destroyed
};

struct derived_tracked : tracked, trvptr_type_tag<derived_tracked> {
  using tracked::tracked;
};

void expect_null_block_untouched() {
  EXPECT_EQ(trv_null_control_block.object, nullptr);
  EXPECT_EQ(trv_null_control_block.strong_count, trv_uncounted);
  EXPECT_EQ(trv_null_control_block.weak_count, 0u);
  EXPECT_EQ(trv_null_control_block.alive, 1);
  EXPECT_EQ(trv_null_control_block.pool_tag, trv_heap_tag);
}

TEST(ObjectPtr, EmptyPointersNeverTouchTheNullBlock) {
  {
    trvptr_strong<tracked> a;
    trvptr_strong<tracked> b = a;
    trvptr_weak<tracked> w = a;
    trvptr_weak<tracked> w2 = w;
    trvptr_strong<tracked> locked = w.lock();
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(locked.control_block(), &trv_null_control_block);
    EXPECT_EQ(trvptr_strong<tracked>::from(nullptr).control_block(), &trv_null_control_block);
    b = a;
    a.reset();
  }
  expect_null_block_untouched();
}

TEST(ObjectPtr, LastStrongReleaseDestroysObjectAndWeakReadsNull) {
  int destroyed = 0;
  trvptr_weak<tracked> weak;
  {
    trvptr_strong<tracked> strong = trvptr_strong<tracked>::from(new tracked(&destroyed));
    trvptr_strong<tracked> second = strong;
    weak = trvptr_weak<tracked>(strong);
    EXPECT_EQ(strong.control_block()->strong_count, 2u);
    EXPECT_EQ(strong.control_block()->weak_count, 1u);
  }
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(weak.get(), nullptr);
  EXPECT_TRUE(weak.expired());
  trvptr_strong<tracked> revived = weak.lock();
  EXPECT_FALSE(revived);
  EXPECT_EQ(weak.control_block()->alive, 0);
  trvptr_weak<tracked> copy = weak;  // a dead block hands out nothing
  EXPECT_EQ(copy.control_block(), &trv_null_control_block);
  weak.reset();  // frees the block; ASan reports it otherwise
  expect_null_block_untouched();

  // An object owning its last reference dies cleanly.
  auto* object = new tracked(&destroyed);
  object->self = trvptr_strong<tracked>::from(object);
  object->weak_self = trvptr_weak<tracked>::from(object);
  object->self.reset();
  EXPECT_EQ(destroyed, 2);
}

TEST(ObjectPtr, DirectDestructionLeavesPointersReadingNull) {
  int destroyed = 0;
  auto* object = new tracked(&destroyed);
  trvptr_strong<tracked> strong = trvptr_strong<tracked>::from(object);
  trvptr_weak<tracked> weak(strong);
  delete object;  // the destructor detaches the object from its block
  EXPECT_EQ(strong.get(), nullptr);
  EXPECT_EQ(weak.get(), nullptr);
  EXPECT_FALSE(weak.lock());
  strong.reset();
  weak.reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(ObjectPtr, ConversionsKeepOneBlockAndTheMostDerivedTag) {
  int destroyed = 0;
  auto* object = new derived_tracked(&destroyed);
  EXPECT_EQ(object->type_tag, trv_type_tag<derived_tracked>());
  EXPECT_NE(trv_type_tag<derived_tracked>(), trv_type_tag<tracked>());
  trvptr_strong<derived_tracked> derived = trvptr_strong<derived_tracked>::from(object);
  trvptr_strong<tracked> base = derived;
  EXPECT_EQ(base.control_block(), derived.control_block());
  EXPECT_EQ(base.control_block()->strong_count, 2u);
  trvptr_strong<tracked> moved = std::move(derived);
  EXPECT_EQ(moved.control_block()->strong_count, 2u);
  EXPECT_EQ(derived.control_block(), &trv_null_control_block);
  base = base;  // self-assignment keeps the count
  EXPECT_EQ(moved.control_block()->strong_count, 2u);
  base.reset();
  moved.reset();
  EXPECT_EQ(destroyed, 1);
}

TEST(ObjectPtr, DefinitionBlocksAlwaysComeFromTheHeap) {
  trv_function_def def;
  trvptr_weak<trv_function_def> weak = trvptr_weak<trv_function_def>::from(&def);
  EXPECT_EQ(weak.control_block()->pool_tag, trv_heap_tag);
  EXPECT_FALSE(def.pooled_control_block_allowed());
}

}  // namespace
