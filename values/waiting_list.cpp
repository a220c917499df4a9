#include "values/waiting_list.h"

#include <utility>

void trv_waiting_list::add(trvptr_strong<trv_task> task) {
  const trvptr_control_block* const listed = task.control_block();
  tasks_.push_back(std::move(task));
  if (!positions_.empty()) {
    positions_.emplace(listed, tasks_.size() - 1);
  } else if (tasks_.size() == indexed_from) {
    index_all();
  }
}

void trv_waiting_list::remove(const trvptr_strong<trv_task>& task) {
  const size_t position = position_of(task.control_block());
  if (position == tasks_.size()) return;
  if (!positions_.empty()) {
    positions_.erase(task.control_block());
    if (position + 1 < tasks_.size()) positions_[tasks_.back().control_block()] = position;
  }
  // The entry leaves the list before the task's strong pointer goes: letting go of the task
  // can end it, and ending it can change this list.
  trvptr_strong<trv_task> gone = std::move(tasks_[position]);
  if (position + 1 < tasks_.size()) tasks_[position] = std::move(tasks_.back());
  tasks_.pop_back();
  if (tasks_.size() < indexed_from / 2) positions_.clear();
}

std::vector<trvptr_strong<trv_task>> trv_waiting_list::take_all() {
  positions_.clear();
  return std::exchange(tasks_, {});
}

size_t trv_waiting_list::position_of(const trvptr_control_block* task) const {
  if (!positions_.empty()) {
    const auto found = positions_.find(task);
    return found == positions_.end() ? tasks_.size() : found->second;
  }
  for (size_t i = 0; i < tasks_.size(); ++i) {
    if (tasks_[i].control_block() == task) return i;
  }
  return tasks_.size();
}

void trv_waiting_list::index_all() {
  positions_.reserve(tasks_.size() * 2);
  for (size_t i = 0; i < tasks_.size(); ++i) positions_.emplace(tasks_[i].control_block(), i);
}
