#include "host/host_namespace.h"

#include <iostream>
#include <string>

#include "values/convert.h"
#include "values/report.h"
#include "vm/task.h"

namespace trvhost {

namespace {

// Flushed per call so that the printed lines keep their place among log lines.
trvvar_shared print(trv_vm_context& /*context*/, std::vector<trvvar_shared>& args) {
  std::string line;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i != 0) line += ' ';
    if (args[i]) line += trvvar_string_value(*args[i]);
  }
  line += '\n';
  std::cout << line << std::flush;
  return trvvar_new();
}

// A task for the function value in args[0], or empty after the runtime error.
trvptr_strong<trv_task> task_for(trv_vm_context& context, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_task> task;
  if (!args.empty() && args[0]) task = trv_task_for_function(*args[0], &context);
  if (!task) trv_runtime_error("not a function!");
  return task;
}

trvvar_shared run(trv_vm_context& context, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_task> task = task_for(context, args);
  if (!task) return trvvar_new();
  trvvar_shared result = trvvar_new();
  task->on_complete = [&result](trvvar_shared& value) { result = value; };
  std::vector<trvvar_shared> task_args(args.begin() + 1, args.end());
  task->run(&task_args);
  // A task still running or waiting keeps going without this call.
  task->on_complete = nullptr;
  return result;
}

trvvar_shared routine(trv_vm_context& context, std::vector<trvvar_shared>& args) {
  trvptr_strong<trv_task> task = task_for(context, args);
  if (!task) return trvvar_new();
  const int64_t delay = args.size() > 1 && args[1] ? trvvar_int_value(*args[1]) : 0;
  task->schedule(delay > 0 ? static_cast<uint64_t>(delay) : 0);
  return trvvar_new();
}

}  // namespace

void populate_host_namespace(trv_namespace& ns) {
  add_function(ns, "print", print, 0, trv_any_param_count,
               "Prints the text of each value, separated by spaces, and a newline");
  add_function(ns, "run", run, 0, trv_any_param_count,
               "Runs a function value at once with the arguments and returns its result");
  add_function(ns, "routine", routine, 0, 2,
               "Schedules a function value as a routine after a delay in milliseconds");
}

}  // namespace trvhost
