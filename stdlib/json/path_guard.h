#pragma once

#include <cstddef>
#include <vector>

class trv_std_json;

// The containers on the current path of a walk over nested containers. Entering is refused
// when the path already holds 1024 containers or already holds this one (a cycle).
class trv_json_path_guard {
 public:
  static constexpr size_t limit = 1024;
  enum class entry { entered, too_deep, cycle };

  // `outer_depth`: the containers that walks enclosing this one on the same thread hold open;
  // they count against the limit with this walk's own, as they take the same stack.
  explicit trv_json_path_guard(size_t outer_depth = 0) : outer_depth_(outer_depth) {}

  entry enter(const trv_std_json* container);
  void leave() { path_.pop_back(); }
  size_t depth() const { return path_.size(); }
  size_t total_depth() const { return outer_depth_ + path_.size(); }

  // The guard the clearing, key removal and binary form share on this thread.
  static trv_json_path_guard& shared();

 private:
  size_t outer_depth_;
  std::vector<const trv_std_json*> path_;
};
