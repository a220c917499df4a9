#pragma once

// Script callbacks over a container's entries (filter, map, reduce, any, all, foreach). The
// calling task waits while the callback runs as a routine once per entry, one call after the
// other; each call's completion feeds the next, and the last one wakes the calling task. The
// method itself returns its result variable at once; the script reads it once it resumes.
//
// A callback that completes at once (the usual case) leaves its value to the loop that started
// it, which consumes it and goes on to the next entry, so a container of any size costs no
// stack; only a call left pending gets a completion callback.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "glue/object_ptr.h"
#include "stdlib/json/std_json.h"
#include "values/var.h"

class trv_vm_context;
struct trv_runtime;
struct trv_task;

struct trv_json_iteration : std::enable_shared_from_this<trv_json_iteration> {
  // Appends the arguments of the call for entry `index` of `json`, which is there; `owned` is
  // the calling thread's owned runtime (or null), which new records come from.
  using build_arguments_fn =
      std::function<void(trv_json_iteration&, uint32_t, std::vector<trvvar_shared>&, trv_runtime*)>;
  // Consumes the callback's value for the entry it was called for; false ends the iteration.
  // `owned` as for build_arguments.
  using on_result_fn =
      std::function<bool(const trv_json_entry& called, trvvar_shared&, trv_runtime* owned)>;

  trvptr_strong<trv_std_json> json;
  trvptr_strong<trv_task> task;  // the calling task, waiting until the iteration ends
  trvvar_shared callback;        // a copy whose scope is the calling task
  build_arguments_fn build_arguments;
  on_result_fn on_result;
  std::function<void()> on_finish;  // may be empty
  uint32_t index = 0;
  bool running = false;  // the loop of run() is active
  bool rerun = false;    // the loop goes on: its call's value was consumed, or a call completed
                         // while it was active
  bool done = false;
  // The entry of the call under way, as it stood when called. Its value is filed under this
  // entry even when the callback removed, inserted or reordered entries meanwhile.
  trv_json_entry called;
  // The routine of the last call when it completed inside the loop; the next call reuses it.
  trvptr_strong<trv_task> spare;
  // The key argument of the last call. Its text is set in place for the next while nothing else
  // holds it: the callback's parameter holds a copy, which its routine keeps in its parked
  // frame, so that a walk makes no string per entry.
  trvvar_shared key;

  // Makes the calling task of `context` wait and starts the calls over `json`.
  static void start(const std::shared_ptr<trv_json_iteration>& self, trv_std_json& json,
                    trv_vm_context& context, trvvar_shared& callback);
  // Starts calls until one is pending or the iteration ends. The caller keeps the iteration
  // alive meanwhile; a call left pending keeps it alive until its value arrives.
  void run();
  // A call's value arrived, on the thread whose owned runtime (or null) is `owned`.
  void complete(trvvar_shared& result, trv_runtime* owned);
  // Files a call's value under the entry it was called for; true when the walk goes on to the
  // next entry, false when it has ended.
  bool consume(trvvar_shared& result, trv_runtime* owned);
  // Ends the iteration (once): the finish action, then the calling task is woken.
  void finish();
};

// The arguments most callbacks get: the entry's key (empty for a keyless entry), then the
// entry's value variable itself, so that the callback can change the entry through it.
void trv_json_key_value_arguments(trv_json_iteration& it, uint32_t index,
                                  std::vector<trvvar_shared>& args, trv_runtime* owned);
