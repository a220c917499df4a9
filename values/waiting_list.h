#pragma once

// The runtime's list of tasks whose frame waits for a value (from a worker thread, a callback
// walk, a join). A task leaves it in constant time wherever it is: in a program whose threads
// join one another, tens of thousands of tasks wait at once.

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "glue/object_ptr.h"

struct trv_task;

class trv_waiting_list {
 public:
  // The task must not be listed yet.
  void add(trvptr_strong<trv_task> task);
  // Takes the task out; the last one listed moves into its place. Nothing when not listed.
  void remove(const trvptr_strong<trv_task>& task);
  // Every listed task, leaving the list empty.
  std::vector<trvptr_strong<trv_task>> take_all();

  bool empty() const { return tasks_.empty(); }
  size_t size() const { return tasks_.size(); }

 private:
  // A short list is searched; from this length on, the positions are kept in a map, until
  // the list is down to half of it again.
  static constexpr size_t indexed_from = 32;

  size_t position_of(const trvptr_control_block* task) const;
  void index_all();

  std::vector<trvptr_strong<trv_task>> tasks_;
  // Keyed by the tasks' control blocks, one per task.
  std::unordered_map<const trvptr_control_block*, size_t> positions_;  // empty while short
};
