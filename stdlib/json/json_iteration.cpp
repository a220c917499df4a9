#include "stdlib/json/json_iteration.h"

#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/payloads.h"
#include "values/report.h"
#include "vm/task.h"
#include "vm/vm_context.h"

void trv_json_iteration::start(const std::shared_ptr<trv_json_iteration>& self, trv_std_json& json,
                               trv_vm_context& context, trvvar_shared& callback) {
  self->json = trvptr_strong<trv_std_json>::from(&json);
  if (context.task != nullptr) self->task = trvptr_strong<trv_task>::from(context.task);
  self->callback = trvvar_new();
  trvvar_set(*self->callback, callback);
  if (self->callback->type == TRVVAR_FUNCTION && context.task != nullptr) {
    self->callback->payload.function_payload->scope = trvptr_weak<trv_task>::from(context.task);
  }
  trv_task_wait(context);
  run(self);
}

namespace {

// The routine for the next call: the spare one when the last call completed in the loop, else
// a new one; empty when the callback cannot run as a routine.
trvptr_strong<trv_task> routine_for(trv_json_iteration& it) {
  if (it.spare && !it.spare->active) return std::move(it.spare);
  it.spare.reset();
  return trv_task_for_function(*it.callback, nullptr);
}

}  // namespace

void trv_json_iteration::run(const std::shared_ptr<trv_json_iteration>& self) {
  trv_json_iteration& it = *self;
  if (it.running) {
    it.rerun = true;
    return;
  }
  it.running = true;
  std::vector<trvvar_shared> args;
  do {
    it.rerun = false;
    trv_std_json* json = it.json.get();
    if (json == nullptr || it.index >= json->size()) {
      it.finish();
      break;
    }
    trvptr_strong<trv_task> call = routine_for(it);
    it.build_arguments(*json, it.index, args);
    if (!call || trv_argument_count_problem(*call->definition, args.size()) != nullptr) {
      trv_runtime_error_continuing("JSON callback could not be called, check its parameter count.");
      args.clear();
      it.finish();
      break;
    }
    call->on_complete = [self](trvvar_shared& result) { complete(self, result); };
    call->run(&args);
    args.clear();
    // A call still running keeps its routine; one that completed here is reused.
    if (!call->active && !it.done) it.spare = std::move(call);
  } while (it.rerun && !it.done);
  it.running = false;
}

void trv_json_iteration::complete(const std::shared_ptr<trv_json_iteration>& self,
                                  trvvar_shared& result) {
  trv_json_iteration& it = *self;
  if (it.done) return;
  // The callback or another routine may have removed the entry: the iteration ends there.
  trv_std_json* json = it.json.get();
  if (json != nullptr && it.index < json->size() && it.on_result(*json, it.index, result)) {
    ++it.index;
    run(self);
    return;
  }
  it.finish();
}

void trv_json_iteration::finish() {
  if (done) return;
  done = true;
  spare.reset();
  if (on_finish) on_finish();
  if (trv_task* waiting = task.get()) trv_task_wake(*waiting);
}

void trv_json_key_value_arguments(trv_std_json& json, uint32_t index,
                                  std::vector<trvvar_shared>& args) {
  const trv_json_entry& entry = json.entries[index];
  trvvar_shared key = trvvar_new();
  trvvar_set_string(*key, entry.key ? std::string_view(*entry.key) : std::string_view());
  args.push_back(std::move(key));
  args.push_back(entry.value);
}
