#include "stdlib/json/path_guard.h"

#include <algorithm>

trv_json_path_guard::entry trv_json_path_guard::enter(const trv_std_json* container) {
  if (total_depth() >= limit) return entry::too_deep;
  if (std::find(path_.begin(), path_.end(), container) != path_.end()) return entry::cycle;
  path_.push_back(container);
  return entry::entered;
}

trv_json_path_guard& trv_json_path_guard::shared() {
  thread_local trv_json_path_guard guard;
  return guard;
}
