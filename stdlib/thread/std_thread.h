#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "objects/object_binding.h"
#include "values/pooled.h"
#include "values/var.h"

class trv_namespace;
struct trv_task;

// std.thread: runs one script callback as a new task on each "run", lets a routine wait for
// all of them in "join", and keeps what each run returned in the slot of its run number.
// Thread objects come from the heap (pool tag 255), never from a pool.
class trv_std_thread : public trvobject<trv_std_thread, "std.thread">,
                       public trvptr_type_tag<trv_std_thread>,
                       public trv_pooled_class {
 public:
  static constexpr uint32_t constructor_max_params = 1;
  static constexpr std::array<std::string_view, 2> constructor_parameter_docs{
      "Create a new thread object with optional callback function",
      "callback: function - The function to be executed in the new thread"};

  trvvar_shared callback = trvvar_new();
  // Tasks started by run that have not completed, in start order.
  std::vector<trvptr_strong<trv_task>> active_tasks;
  // One slot per started run, by run number; none until that run completes.
  std::vector<trvvar_shared> results;
  trvptr_strong<trv_task> joiner;  // the routine waiting in join; set only while tasks run

  ~trv_std_thread() override;

  static void script_register();
  // The populate callback of the "std" namespace that adds the constructor "thread".
  static void populate_namespace(trv_namespace& ns);

  bool is_empty() override { return callback->type != TRVVAR_FUNCTION; }

  // Starts a task of the callback with `args`; false when none started.
  bool run(trv_vm_context& context, std::vector<trvvar_shared>& args);
  // The calling routine waits until the active tasks have completed.
  void join(trv_vm_context& context);

 private:
  // A run's completion: its value goes to its slot (shared), the task leaves the active ones,
  // and the last one wakes the joiner.
  void complete(const trv_task* task, size_t slot, trvvar_shared& value);
};
