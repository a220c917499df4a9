#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <new>
#include <random>
#include <thread>

#include "stdlib/json/json_bool.h"
#include "stdlib/json/json_string_list.h"
#include "tests/json/failing_allocation.h"
#include "tests/json/json_test_support.h"
#include "tests/support/capturing_logger.h"

namespace {

TEST(JsonContainer, FindOrAddAppendsAndIndexesEvenTheEmptyKey) {
  json_value j;
  trvvar_shared a = j->find_or_add("a");
  EXPECT_EQ(a->type, TRVVAR_NONE);
  EXPECT_EQ(j->find_or_add("a").get(), a.get());
  j->find_or_add("");
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(j->has_key(""));
  j->add_keyed("");  // the add operations never store an empty key
  EXPECT_FALSE(j->entries.back().key);
  j->assert_invariant();
}

TEST(JsonContainer, RepresentativeFollowsHowEntriesArrived) {
  json_value j;
  trvvar_shared first = j->add_keyed("k");
  trvvar_shared second = j->add_keyed("k");
  j->add_keyed("other");
  EXPECT_EQ(j->find("k"), second.get());  // an added entry takes over
  EXPECT_TRUE(j->erase_at(1));
  EXPECT_EQ(j->find("k"), first.get());  // the first remaining one takes over
  trvvar_shared third = j->add_keyed("k");
  json_value copy;
  copy->assign_entries(*j.c);  // a rebuilt index keeps the first
  EXPECT_EQ(trvvar_string_value(*copy->find_or_add("k")), "");
  trvvar_set_int(*first, 7);
  copy->assign_entries(*j.c);
  EXPECT_EQ(trvvar_int_value(*copy->find_or_add("k")), 7);
  EXPECT_TRUE(j->erase_key("k"));
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"other"}));
  EXPECT_FALSE(j->has_key("k"));
  j->assert_invariant();
}

// Keys added without a lookup are indexed later, in arrival order, whatever happened to the
// entries' order and positions in between.
TEST(JsonContainer, KeysAddedInBulkKeepTheRepresentativeRules) {
  json_value j;
  trvvar_shared first = j->add_keyed("k");
  j->add_keyed("a");
  trvvar_shared second = j->add_keyed("k");
  trv_json_entry_vector& entries = j->reorder();
  std::reverse(entries.begin(), entries.end());
  j->add_keyed("b");
  j->insert_keyless(0, int_of(1));
  EXPECT_EQ(j->find("k"), second.get());
  trvvar_shared third = j->add_keyed("k");
  EXPECT_TRUE(j->erase_at(-1));
  EXPECT_EQ(j->find("k"), second.get());  // the first remaining one from the front
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"-", "k", "a", "k", "b"}));
  j->assert_invariant();
}

// Erasing a key takes every entry bearing it, wherever they are, and only those, whether the
// entries were indexed as they came or in bulk later.
TEST(JsonContainer, EraseKeyTakesEveryEntryBearingTheKey) {
  json_value j;
  for (const char* key : {"a", "k", "b", "k", "c"}) j->add_keyed(key);
  j->find("a");  // indexed so far; the rest is indexed when next asked
  for (const char* key : {"k", "d"}) j->add_keyed(key);
  j->insert_keyless(2, int_of(1));
  EXPECT_TRUE(j->erase_key("k"));
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", "-", "b", "c", "d"}));
  EXPECT_TRUE(j->erase_key("d"));
  EXPECT_TRUE(j->erase_key("a"));
  EXPECT_FALSE(j->erase_key("k"));
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"-", "b", "c"}));
  j->assert_invariant();
}

// Taking the first entries out at once leaves what erasing the first entry that many times
// leaves: the same entries, and for each key the same representative, also where the one
// that goes represented later entries (an index rebuilt keeps the first of equal keys).
TEST(JsonContainer, EraseFrontLeavesWhatErasingTheFirstEntryRepeatedlyLeaves) {
  const char* const names[] = {"a", "b", "c"};
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    json_value at_once;
    json_value stepwise;
    const size_t size = random() % 12;
    for (size_t i = 0; i < size; ++i) {
      const char* key = i % 4 == 3 ? "" : names[random() % 3];
      for (json_value* j : {&at_once, &stepwise}) {
        trvvar_set_int(*(*j)->add_keyed(key), static_cast<int64_t>(i));
      }
    }
    if (random() % 2 == 0) {
      for (json_value* j : {&at_once, &stepwise}) (*j)->keep_entries(std::vector<bool>(size, true));
    }
    const size_t count = random() % (size + 2);
    at_once->erase_front(count);
    for (size_t i = 0; i < count; ++i) stepwise->erase_at(0);
    ASSERT_EQ(at_once.keys(), stepwise.keys());
    for (const char* key : names) {
      const trvvar* ours = at_once->find(key);
      const trvvar* theirs = stepwise->find(key);
      ASSERT_EQ(ours == nullptr, theirs == nullptr) << key;
      if (ours != nullptr) {
        EXPECT_EQ(trvvar_int_value(*ours), trvvar_int_value(*theirs)) << key;
      }
    }
    at_once->assert_invariant();
  }
}

TEST(JsonContainer, ValueAtAndEraseKeyReportMisses) {
  json_value j = parsed("[10,20,30]");
  EXPECT_EQ(trvvar_int_value(*j->value_at(-1)), 30);
  EXPECT_EQ(trvvar_int_value(*j->value_at(-3)), 10);
  log_capture capture;
  for (int64_t bad : {int64_t{-4}, int64_t{3}}) {
    EXPECT_EQ(j->value_at(bad)->type, TRVVAR_NONE);
  }
  EXPECT_EQ(capture.errors(),
            std::vector<std::string>(2,
                                     "\n*********************\nOut of bounds access.\n"
                                     "*********************\n\n"));
  trvvar_shared value = int_of(5);
  j->set_index_member(3, value);  // an out-of-range write stores nothing
  EXPECT_EQ(j->size(), 3u);

  EXPECT_FALSE(j->erase_key("x"));  // no index yet: silently false
  j->add_keyed("a");
  EXPECT_FALSE(j->erase_key("x"));
  EXPECT_EQ(capture.texts(TRV_LOG_DEBUG), (std::vector<std::string>{"Key x does not exist!"}));
}

TEST(JsonContainer, ParsedContainersIndexTheirKeysWhenFirstAsked) {
  json_value j = parsed(R"({"b":1,"a":2,"b":3})");
  EXPECT_EQ(j.keys(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(trvvar_int_value(*j->find_or_add("b")), 3);
  j->add_keyed("a");
  EXPECT_EQ(j->find("a"), j->entries.back().value.get());
  j->assert_invariant();
}

TEST(JsonContainer, DeepCopyReproducesSelfReferencesAndStopsAt1024Levels) {
  json_value j;
  trvvar_set(*j->add_keyed("self"), j.var);
  trvvar_set_int(*j->add_keyed("n"), 1);
  trvvar_shared copy = trv_std_json::deep_copy(*j.c);
  trv_std_json* c = trv_json_of(*copy);
  ASSERT_NE(c, j.c);
  EXPECT_EQ(trv_json_of(*c->find_or_add("self")), c);
  EXPECT_EQ(trvvar_int_value(*c->find_or_add("n")), 1);
  j->clear_and_free();
  c->clear_and_free();

  log_capture capture;
  EXPECT_EQ(nested_depth(trv_json_of(*trv_std_json::deep_copy(*nested(1025).c))), 1024u);
  EXPECT_EQ(capture.warnings(),
            (std::vector<std::string>{"JSON copy exceeds the maximum nesting depth of 1024, the "
                                      "remaining members are not copied."}));
}

TEST(JsonContainer, ClearAndFreeBreaksCyclesAndStopsAt1024) {
  json_value a;
  json_value b;
  trvvar_set(*a->add_keyless(), b.var);
  trvvar_set(*b->add_keyless(), a.var);
  a->clear_and_free();
  EXPECT_EQ(a->size(), 0u);
  EXPECT_EQ(b->size(), 0u);
  json_value deep = nested(1026);
  deep->clear_and_free();
  EXPECT_EQ(deep->size(), 0u);
}

TEST(JsonContainer, RemoveKeyEverywhereSurvivesCycles) {
  json_value j = parsed(R"({"x":1,"inner":{"x":2,"y":3}})");
  trvvar_set(*j->add_keyed("loop"), j.var);
  j->remove_key_everywhere("x");
  j->erase_key("loop");
  EXPECT_EQ(j.text(), R"({"inner":{"y":3}})");
}

// Each of 60 levels holds the level below twice: 2^60 paths lead to the bottom, which one walk
// visits once.
TEST(JsonContainer, RemoveKeyEverywhereWalksSharedContainersOnce) {
  json_value bottom = parsed(R"({"x":1,"y":2})");
  json_value level = bottom;
  for (int i = 0; i < 60; ++i) {
    json_value above;
    trvvar_set(*above->add_keyless(), level.var);
    trvvar_set(*above->add_keyless(), level.var);
    trvvar_set_int(*above->add_keyed("x"), i);
    level = above;
  }
  level->remove_key_everywhere("x");
  EXPECT_EQ(bottom.text(), R"({"y":2})");
  EXPECT_EQ(level->size(), 2u);
}

// Keys switch from inline to heap storage past 15 bytes; both must hold any bytes and
// survive copies, moves and resets.
TEST(JsonKey, HoldsAnyBytesInlineOrOnTheHeap) {
  EXPECT_FALSE(trv_json_key());
  EXPECT_TRUE(trv_json_key(""));
  EXPECT_EQ(*trv_json_key(), "");
  for (size_t length : {0u, 1u, 15u, 16u, 1000u}) {
    std::string text(length, 'k');
    if (length > 0) text[length / 2] = '\0';
    trv_json_key key(text);
    EXPECT_EQ(*key, text);
    EXPECT_EQ(key->size(), length);
    trv_json_key copy = key;
    trv_json_key moved = std::move(key);
    EXPECT_FALSE(key);  // NOLINT: a moved-from key is absent
    EXPECT_EQ(*copy, text);
    EXPECT_EQ(*moved, text);
    copy = trv_json_key("short");
    moved = copy;
    EXPECT_EQ(*moved, "short");
    moved.reset();
    EXPECT_FALSE(moved);
  }
}

}  // namespace

// Memory running out in the middle of an edit leaves whole entries, each key found as one of
// its entries: each allocation the edit makes fails in turn. An addition leaves the entries as
// they were; so does keeping some entries when memory runs out before they move.
TEST(JsonContainer, EditsThatRunOutOfMemoryLeaveWholeEntries) {
  const std::string long_key(40, 'k');  // too long to be kept inside the entry
  const std::string other_key(40, 'o');
  struct edit {
    const char* name;
    std::function<void(json_value&)> run;
  };
  const edit edits[] = {
      {"add", [&](json_value& j) { trvvar_set_int(*j->add_keyed(long_key), 9); }},
      {"keep",
       [](json_value& j) {
         j->keep_entries({false, true, false, true, true});
       }},
  };
  for (const edit& e : edits) {
    size_t failures = 0;
    for (size_t before = 0;; ++before) {
      json_value j;
      int64_t n = 0;
      for (const std::string& key : {long_key, other_key, std::string(), long_key, other_key}) {
        trvvar_set_int(*j->add_keyed(key), n++);
      }
      const std::vector<std::string> keys = j.keys();
      failing_allocation::arm(before);
      try {
        e.run(j);
      } catch (const std::bad_alloc&) {
      }
      const bool failed = failing_allocation::disarm();
      for (const trv_json_entry& entry : j->entries) {
        ASSERT_TRUE(entry.value) << e.name << " " << before;
        if (!entry.key) continue;
        const trvvar* found = j->find(*entry.key);
        ASSERT_TRUE(std::any_of(j->entries.begin(), j->entries.end(),
                                [&](const auto& other) {
                                  return other.key && *other.key == *entry.key &&
                                         other.value.get() == found;
                                }))
            << e.name << " " << before;
      }
      j->assert_invariant();
      if (!failed) break;
      ++failures;
      if (std::string_view(e.name) == "add") {
        EXPECT_EQ(j.keys(), keys) << before;
      }
    }
    EXPECT_GE(failures, 1u) << e.name;
  }
}

// Values made on a thread that owns no runtime (a worker making a job's result) come from the
// heap; an allocation failing at any point while one is made leaves nothing behind, the object
// made before its control block among them.
TEST(JsonContainer, ValuesMadeWhileMemoryRunsOutLeaveNothingBehind) {
  const std::string long_part(40, 'p');  // too long to be kept inside the string
  struct maker {
    const char* name;
    std::function<void()> run;
  };
  const maker makers[] = {
      {"string list",
       [&] {
         trv_json_string_list list;
         list.add("a");
         list.add(long_part);
         trvvar_shared made = list.take();
       }},
      {"string copy",
       [&] {
         trvvar_shared made = trv_new_string_var(long_part, nullptr);
         trvptr_strong<trvobject_base> copy =
             trv_object_cast<trv_std_string>(trvvar_payload_object(*made))->self_pointer();
       }},
      {"json.bool and its copy",
       [] {
         trvvar_shared made = trvvar_new();
         trv_json_bool_store(*made, true);
         trvptr_strong<trvobject_base> copy = made->payload.object_payload->object->self_pointer();
       }},
  };
  std::thread worker([&] {
    for (const maker& m : makers) {
      m.run();  // what the thread makes once and keeps is made now
      size_t failures = 0;
      for (size_t before = 0;; ++before) {
        const size_t live = failing_allocation::live_blocks();
        failing_allocation::arm(before);
        try {
          m.run();
        } catch (const std::bad_alloc&) {
        }
        const bool failed = failing_allocation::disarm();
        EXPECT_EQ(failing_allocation::live_blocks(), live) << m.name << " " << before;
        if (!failed) break;
        ++failures;
      }
      EXPECT_GE(failures, 3u) << m.name;
    }
  });
  worker.join();
}
