#pragma once

// The host's side of one script runtime (first form). The driver creates the trv_runtime and
// makes it the runtime of the threads that run script code or release its values; one thread
// at a time takes ownership through the runtime lock and gives it back. At points of the
// host's choosing the owner services the runtime: elements that other threads returned through
// the pools' rings go back into their pools, and objects whose teardown was deferred are
// destroyed once no native call uses them. Destroying the driver destroys the runtime with
// every object its pools made.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "glue/object_ptr.h"
#include "values/runtime.h"
#include "values/runtime_lock.h"

class trv_log_base;

namespace trvhost {

class runtime_driver {
 public:
  // Creates the runtime and makes it the calling thread's runtime.
  explicit runtime_driver(std::string name, trvptr_strong<trv_log_base> log = {});
  // Runs on the thread that created the driver, once no other thread uses the runtime.
  ~runtime_driver();
  runtime_driver(const runtime_driver&) = delete;
  runtime_driver& operator=(const runtime_driver&) = delete;

  trv_runtime& runtime() { return *runtime_; }

  // Makes the runtime the calling thread's runtime, or no runtime the calling thread's.
  void attach_current_thread();
  static void detach_current_thread();

  // The calling thread becomes the owner (waiting for the lock) until it gives ownership back.
  // Only the host's driving thread uses these two.
  void take_ownership();
  void give_up_ownership();

  // The owner's upkeep: returned elements back into their pools, deferred objects destroyed.
  // Returns the number of elements returned.
  size_t service();

 private:
  std::unique_ptr<trv_runtime> runtime_;
  std::optional<trv_runtime_lock_guard> ownership_;
};

}  // namespace trvhost
