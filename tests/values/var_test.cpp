#include <gtest/gtest.h>

#include "objects/object_binding.h"
#include "stdlib/json/std_json.h"
#include "tests/support/capturing_logger.h"
#include "tests/support/test_values.h"
#include "values/assign.h"
#include "values/convert.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/reference.h"
#include "values/var_vectors.h"

namespace {

struct probe : trvobject<probe, "test.probe">, trvptr_type_tag<probe> {
  explicit probe(int* destroyed = nullptr) : destroyed(destroyed) {}
  ~probe() override {
    if (destroyed != nullptr) ++*destroyed;
  }
  int* destroyed;
};

// Every type change in both directions releases the old payload and builds the new one;
// ASan and LeakSanitizer watch the payload records. Names stop at the end of their table.
TEST(VarTypes, EveryTypeChangeBuildsAndReleasesPayloads) {
  EXPECT_EQ(trvvar_type_name(TRVVAR_REF), "ref");
  EXPECT_EQ(trvvar_type_name(18), "");  // never printed, never read past the table
  for (int from = 0; from < trvvar_type_count; ++from) {
    for (int to = 0; to < trvvar_type_count; ++to) {
      trvvar_shared v = of_type(static_cast<trvvar_type>(from));
      v->flags2 = TRVVAR_FLAG2_VALUE_ONLY;
      trvvar_set_type(*v, static_cast<trvvar_type>(to));
      EXPECT_EQ(v->type, to);
      EXPECT_EQ(v->flags2, 0);
      const bool has_payload = to >= TRVVAR_STRING && to != TRVVAR_OBJECTS_END && to != TRVVAR_REF;
      EXPECT_EQ(v->payload.raw != 0, has_payload) << from << " -> " << to;
    }
  }
}

TEST(VarTypes, SameTypeRebuildsValueObjectsButKeepsPayloadRecords) {
  trvvar_shared s = string_of("old");
  trvptr_strong<trvobject_base> before = s->payload.object;
  trvvar_set_type(*s, TRVVAR_STRING);
  EXPECT_NE(trvvar_payload_object(*s), before.get());
  EXPECT_EQ(before->to_string(), "old");
  EXPECT_EQ(trvvar_get_or_make_string(*s), "");

  trvvar_shared f = of_type(TRVVAR_EXT_FUNCTION);
  trvvar_ext_function_payload* record = f->payload.ext_function_payload;
  trvvar_set_type(*f, TRVVAR_EXT_FUNCTION);
  EXPECT_EQ(f->payload.ext_function_payload, record);
}

TEST(VarRelease, NegativeCountIsReportedAndNothingFreed) {
  log_capture capture;
  trvvar* v = trvvar_allocate();
  trvvar_set_int(*v, 9);
  v->refcount = -1;
  trvvar_release(v);
  EXPECT_EQ(capture.errors(), std::vector<std::string>{"refcount < 0 !!!"});
  EXPECT_EQ(v->type, TRVVAR_INT);
  v->refcount = 0;
  trvvar_release(v);
}

TEST(VarRelease, LongReferenceChainsReleaseWithoutRecursion) {
  trvvar_shared head = int_of(1);
  for (int i = 0; i < 1000000; ++i) {
    trvvar_shared link = trvvar_new();
    trvvar_make_ref(*link, head.get());
    head = std::move(link);
  }
  head.reset();  // a recursive release would overflow the stack here
}

// A busy object waits in the runtime instead (RuntimePools tests).
TEST(VarRelease, TeardownDestroysAnIdleObjectAtOnce) {
  int destroyed = 0;
  auto* object = new probe(&destroyed);
  trvvar_shared v = object_of(object);
  trvptr_strong<trvobject_base> other = trvptr_strong<trvobject_base>::from(object);
  v->flags |= TRVVAR_FLAG_TEARDOWN;
  v.reset();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(other.get(), nullptr);
}

TEST(VarRelease, TeardownBreaksAContainerThatHoldsItself) {
  trvvar_shared j = of_type(TRVVAR_JSON);
  auto* container = trv_object_cast<trv_std_json>(trvvar_payload_object(*j));
  ASSERT_NE(container, nullptr);
  trvvar_shared inner = trvvar_new();
  trvvar_set(*inner, j);  // the entry shares the container: a cycle
  container->entries.push_back({nullptr, std::move(inner)});
  j->flags |= TRVVAR_FLAG_TEARDOWN;
  j.reset();  // LeakSanitizer reports the container if the cycle survived
}

TEST(References, ChainsEndAtTheTargetRecordItself) {
  trvvar_shared target = int_of(42);
  trvvar_shared a = trvvar_new(), b = trvvar_new(), c = trvvar_new();
  trvvar_make_ref(*c, target.get());
  trvvar_make_ref(*b, c.get());
  trvvar_make_ref(*a, b.get());
  const int32_t before = target->refcount;
  trvvar_shared end = trvvar_deref(a.get());
  EXPECT_EQ(end.get(), target.get());
  EXPECT_EQ(target->refcount, before + 1);
  EXPECT_EQ(trvvar_deref_cheap(a.get()).get(), target.get());
  EXPECT_EQ(trvvar_deref_cheap(target.get()).get(), target.get());

  trvvar_shared dangling = of_type(TRVVAR_REF);
  trvvar_shared via = trvvar_new();
  trvvar_make_ref(*via, dangling.get());
  EXPECT_EQ(trvvar_deref(via.get()).get(), via.get());  // an empty link ends the walk at its start
}

TEST(References, CyclesWarnOnceAndYieldNone) {
  log_capture capture;
  trvvar_shared a = trvvar_new(), b = trvvar_new();
  trvvar_make_ref(*a, b.get());
  trvvar_make_ref(*b, a.get());
  trvvar_shared result = trvvar_deref(a.get());
  EXPECT_EQ(result->type, TRVVAR_NONE);
  EXPECT_NE(result.get(), a.get());
  EXPECT_EQ(capture.warnings().size(), 1u);
  // Conversions end the walk the same way instead of recursing.
  EXPECT_EQ(trvvar_int_value(*a), 0);
  EXPECT_EQ(trvvar_string_value(*b), "");
  EXPECT_EQ(capture.warnings(),
            std::vector<std::string>(3, "Circular reference detected in deref()."));
  trvvar_set_type(*a, TRVVAR_NONE);  // break the cycle
}

TEST(References, ValueOnlySourcesAreCopied) {
  trvvar_shared source = int_of(3);
  source->flags2 = TRVVAR_FLAG2_VALUE_ONLY;
  trvvar_shared dest = trvvar_new();
  trvvar_make_ref(*dest, source.get());
  EXPECT_EQ(dest->type, TRVVAR_INT);
  EXPECT_EQ(dest->payload.int_value, 3);
  EXPECT_EQ(source->refcount, 1);
  trvvar_make_ref(*dest, nullptr);
  EXPECT_EQ(dest->type, TRVVAR_NONE);
}

TEST(References, MembersOfAGoneObjectRaiseTheInvalidObjectError) {
  log_capture capture;
  auto* object = new probe();
  trvvar_shared member = of_type(TRVVAR_OBJECT_MEMBER_LITERAL);
  member->payload.member_literal_payload->object = trvptr_strong<trvobject_base>::from(object);
  member->payload.member_literal_payload->name = "width";
  object->detach();
  delete object;
  trvvar_shared result = trvvar_deref(member.get());
  EXPECT_EQ(result->type, TRVVAR_NONE);
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_NE(capture.errors()[0].find("\nTried to access index 'width' on an invalid object.\n"),
            std::string::npos);
}

TEST(Assignment, MarkerTypesAreNotAssignable) {
  log_capture capture;
  trvvar_shared marker = of_type(TRVVAR_PRIMITIVE_END);
  trvvar_shared d = int_of(1);
  trvvar_set(*d, marker);
  EXPECT_EQ(d->type, TRVVAR_INT);
  EXPECT_EQ(capture.warnings(), std::vector<std::string>{"set() not implemented for var type: 4"});
}

// A string assigned into a string that nothing else holds goes into that string's own object;
// one whose object is held elsewhere gets a new object, so the other holder keeps its text.
// Either way the two variables stay apart afterwards, and the destination's second flags are
// cleared.
TEST(Assignment, StringsAreCopiedInPlaceOnlyIntoUnsharedObjects) {
  const std::string long_text(40, 'x');
  trvvar_shared source = string_of(long_text);
  trvvar_shared alone = string_of("short");
  const trvobject_base* own_object = alone->payload.object.get();
  alone->flags2 = TRVVAR_FLAG2_VALUE_ONLY;
  trvvar_set(*alone, source);
  EXPECT_EQ(alone->payload.object.get(), own_object);
  EXPECT_EQ(alone->flags2, 0);  // as when it gets a new object
  trvvar_set_string(*source, "changed");
  EXPECT_EQ(trvvar_string_view(*alone), long_text);

  trvvar_shared held = string_of("kept");
  const trvptr_strong<trvobject_base> other_holder = held->payload.object;
  trvvar_set(*held, source);
  EXPECT_EQ(trvvar_string_view(*held), "changed");
  EXPECT_EQ(trv_string_object_text(*other_holder), "kept");

  trvvar_shared watched = string_of("watched");
  const trvptr_weak<trvobject_base> watcher =
      trvptr_weak<trvobject_base>::from(watched->payload.object.get());
  trvvar_set(*watched, source);
  EXPECT_EQ(trvvar_string_view(*watched), "changed");
  EXPECT_TRUE(watcher.expired());
}

TEST(BorrowedHandle, StaticRecordsNeverReachRelease) {
  trvvar_static field;
  trvvar_set_int(field, 8);
  {
    trvvar_borrowed borrowed(field);
    trvvar_shared copy = trvvar_new();
    trvvar_set(*copy, borrowed.handle());
    EXPECT_EQ(copy->payload.int_value, 8);
  }
  EXPECT_EQ(field.refcount, 0);
  EXPECT_EQ(field.pool_tag, trv_heap_tag);
}

TEST(VarVectors, CaptureListsLiveAsLongAsAFunctionValueHoldsThem) {
  auto* captures = new trvvar_ptr_function_lambda();
  captures->push_back(int_of(11));
  trvvar_shared function = of_type(TRVVAR_FUNCTION);
  function->payload.function_payload->captures =
      trvptr_strong<trvvar_ptr_function_lambda>::from(captures);
  trvvar_shared copy = trvvar_new();
  trvvar_set(*copy, function);
  function.reset();
  ASSERT_TRUE(copy->payload.function_payload->captures);
  EXPECT_EQ((*copy->payload.function_payload->captures)[0]->payload.int_value, 11);
}

}  // namespace
