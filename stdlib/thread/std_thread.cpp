#include "stdlib/thread/std_thread.h"

#include <algorithm>

#include "glue/log.h"
#include "objects/namespace.h"
#include "stdlib/json/std_json.h"
#include "values/convert.h"
#include "values/report.h"
#include "vm/task.h"

namespace {

constexpr std::string_view not_a_function = "callback is not a function!";

trvvar_shared construct(trv_vm_context&, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_std_thread> thread = trv_std_thread::create_new();
  if (thread && args.size() == 1) {
    if (args[0]->type == TRVVAR_FUNCTION) {
      trvvar_set(*thread->callback, args[0]);
    } else {
      trv_runtime_error_continuing(not_a_function);
    }
  }
  return trvvar_new_object(std::move(thread));
}

trvvar_shared run(trv_std_thread* self, trv_vm_context& context, std::vector<trvvar_shared>& args) {
  if (self->callback->type != TRVVAR_FUNCTION) return trv_runtime_error(not_a_function);
  return trvvar_new_int(self->run(context, args) ? 1 : 0);
}

trvvar_shared join(trv_std_thread* self, trv_vm_context& context, std::vector<trvvar_shared>&) {
  self->join(context);
  return trvvar_new();
}

trvvar_shared get_results(trv_std_thread* self, trv_vm_context&, std::vector<trvvar_shared>& args) {
  const std::vector<trvvar_shared>& results = self->results;
  if (!args.empty()) {
    const int64_t index = trvvar_int_value(*args[0]);
    if (index < 0 || static_cast<uint64_t>(index) >= results.size()) return trvvar_new();
    return results[static_cast<size_t>(index)];
  }
  trv_std_json* list = nullptr;
  trvvar_shared result = trv_new_json_var(&list);
  for (const trvvar_shared& slot : results) list->add_value(slot, {});
  return result;
}

}  // namespace

void trv_std_thread::script_register() {
  if (registered) return;
  registered = true;
  // Thread objects live on the heap, outside every pool.
  create_new = [] { return trvptr_strong<trv_std_thread>::from_new(new trv_std_thread()); };
  add_function("run", ::run, 0, 999, "Execute callback function asynchronously as a task");
  add_parameter_docs({"...: any - Variable arguments to pass to the callback function"});
  add_function("join", ::join, 0, 0, "Join active tasks and wait for their completion");
  add_function("get_results", get_results, 0, 1, "Get returned values");
  add_parameter_docs({"index: int"});
  script_register_internal();
}

void trv_std_thread::populate_namespace(trv_namespace& ns) {
  add_class_constructor(ns, construct, 0, 1, "threading");
}

bool trv_std_thread::run(trv_vm_context& context, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_task> task = trv_task_for_function(*callback, &context);
  if (!task) return false;
  active_tasks.push_back(task);
  const size_t slot = results.size();
  results.push_back(trvvar_new());
  // The thread object may be destroyed at once by a teardown while the task runs.
  task->on_complete = [self = trvptr_strong<trv_std_thread>::from(this), task = task.get(),
                       slot](trvvar_shared& value) {
    if (trv_std_thread* thread = self.get()) thread->complete(task, slot, value);
  };
  if (task->run(&args)) return true;
  // A task that never started never completes: it must not keep a join waiting.
  task->on_complete = nullptr;
  std::erase_if(active_tasks,
                [&](const trvptr_strong<trv_task>& t) { return t.get() == task.get(); });
  return false;
}

void trv_std_thread::complete(const trv_task* task, size_t slot, trvvar_shared& value) {
  auto found = std::find_if(active_tasks.begin(), active_tasks.end(),
                            [task](const trvptr_strong<trv_task>& t) { return t.get() == task; });
  if (found != active_tasks.end()) active_tasks.erase(found);
  trvptr_strong<trv_task> waiting;
  if (active_tasks.empty()) waiting = std::move(joiner);
  // The value is stored last, into a slot held here: releasing the slot's old value can run
  // code that tears this thread down.
  const trvvar_shared destination = results[slot];
  trvvar& returned = *value;
  const bool was_shared = (returned.flags & TRVVAR_FLAG_SHARE_ON_ASSIGN) != 0;
  returned.flags |= TRVVAR_FLAG_SHARE_ON_ASSIGN;
  trvvar_set(*destination, value);
  if (!was_shared) returned.flags &= static_cast<uint8_t>(~TRVVAR_FLAG_SHARE_ON_ASSIGN);
  if (waiting) trv_task_wake(*waiting);
  value.reset();
}

void trv_std_thread::join(trv_vm_context& context) {
  if (active_tasks.empty()) return;
  if (joiner) {
    trv_runtime_error("Cannot join twice!");
    return;
  }
  if (context.task == nullptr) return;
  joiner = trvptr_strong<trv_task>::from(context.task);
  trv_task_wait(context);
}

trv_std_thread::~trv_std_thread() {
  trv_log(TRV_LOG_DEBUG, "TODO: implement active_tasks->terminate() !");
  if (trvptr_strong<trv_task> waiting = std::move(joiner)) trv_task_wake(*waiting);
  // Each run stops at its next step. Its operand stack stays as it is: a run may be the one
  // tearing this thread down, in the middle of an instruction that still uses its top entry.
  for (const trvptr_strong<trv_task>& task : active_tasks) task->stop = 1;
}
