#pragma once

// Opening a shared library and looking up its symbols.

#include <string>

namespace trvhost {

// An opened library. Its code stays mapped until the process ends, even after the last
// handle is closed: a module's global instance is never destroyed, and unmapping the code
// would orphan it together with the std::function objects and thread records it holds.
class shared_library {
 public:
  // Throws std::runtime_error with the system's reason when the library cannot be opened.
  explicit shared_library(const std::string& path);
  ~shared_library();
  shared_library(const shared_library&) = delete;
  shared_library& operator=(const shared_library&) = delete;

  // The address of an exported symbol; null when the library has none of that name.
  void* symbol(const char* name) const;

 private:
  void* handle_;
};

}  // namespace trvhost
