#include "values/waiting_list.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "tests/support/owned_runtime.h"
#include "vm/task.h"

namespace {

// Tasks start and stop waiting at random, the list growing well past the length from which it
// keeps positions and shrinking below it again, in turns: it holds exactly the tasks that
// wait, and gives each of them back once.
TEST(WaitingList, HoldsExactlyTheTasksThatWait) {
  owned_runtime runtime;
  std::vector<trvptr_strong<trv_task>> tasks;
  for (int i = 0; i < 120; ++i) tasks.push_back(trvptr_strong<trv_task>::from(new trv_task()));
  std::mt19937 random(3);
  trv_waiting_list list;
  std::set<size_t> waiting;
  for (int step = 1; step <= 6000; ++step) {
    const size_t i = random() % tasks.size();
    const bool growing = (step / 1000) % 2 == 0;
    if (waiting.count(i) == 0 && (growing || random() % 16 == 0)) {
      list.add(tasks[i]);
      waiting.insert(i);
    } else {
      list.remove(tasks[i]);  // nothing when it does not wait
      waiting.erase(i);
    }
    ASSERT_EQ(list.size(), waiting.size());
    if (step % 1500 != 0) continue;
    std::multiset<const trv_task*> given;
    for (const trvptr_strong<trv_task>& task : list.take_all()) given.insert(task.get());
    std::multiset<const trv_task*> expected;
    for (size_t w : waiting) expected.insert(tasks[w].get());
    EXPECT_EQ(given, expected);
    EXPECT_TRUE(list.empty());
    for (size_t w : waiting) list.add(tasks[w]);
  }
}

}  // namespace
