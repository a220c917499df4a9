#include "stdlib/json/json_iteration.h"

#include "stdlib/json/std_json.h"
#include "stdlib/string/std_string.h"
#include "values/payload_objects.h"
#include "values/payloads.h"
#include "values/report.h"
#include "values/runtime.h"
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
  self->run();
}

namespace {

// The routine for the next call: the spare one when the last call completed in the loop, else
// a new one; empty when the callback cannot run as a routine. A spare whose call started
// routines of its own (a std.thread run) is not reused: it is their parent, and it ends with
// its call as a new routine per call would, so that they end when next continued.
trvptr_strong<trv_task> routine_for(trv_json_iteration& it) {
  if (it.spare && !it.spare->active && !it.spare->has_live_children()) {
    // A new routine starts without an error pending; so does the one reused.
    trvvar_shared& error = it.spare->pending_error;
    if (error && error->type != TRVVAR_NONE) error = trvvar_new();
    return std::move(it.spare);
  }
  it.spare.reset();
  return trv_task_for_function(*it.callback, nullptr);
}

}  // namespace

void trv_json_iteration::run() {
  if (running) {
    rerun = true;
    return;
  }
  running = true;
  trv_thread_local& thread = trv_get_thread_local();
  trv_runtime* const owned = trv_owned_runtime(thread);
  std::vector<trvvar_shared> args;
  do {
    rerun = false;
    // The last call's entry goes first: letting go of its value can run code (a destructor)
    // that changes the container.
    called = {};
    trv_std_json* entries = json.get();
    if (entries == nullptr || index >= entries->size()) {
      finish();
      break;
    }
    trvptr_strong<trv_task> call = routine_for(*this);
    called = entries->entries[index];
    build_arguments(*this, index, args, owned);
    if (!call || trv_argument_count_problem(*call->definition, args.size()) != nullptr) {
      trv_runtime_error_continuing("JSON callback could not be called, check its parameter count.");
      args.clear();
      finish();
      break;
    }
    // A call that ends here leaves its value in its result slot, passed on below while this
    // loop holds the iteration; one left pending gets a completion callback, which owns it.
    const bool started = call->run(&args, thread);
    args.clear();
    if (!started) {  // the run reported why
      finish();
      break;
    }
    if (call->active) {
      call->on_complete = [self = shared_from_this()](trvvar_shared& result) {
        self->complete(result, trv_owned_runtime(trv_get_thread_local()));
      };
      continue;
    }
    trvvar_shared result =
        call->stack.empty() || !call->stack.front() ? trvvar_new(owned) : call->stack.front();
    // Reused by the next call. A global block's task keeps its first frame, and with it its
    // locals, from one run to the next: each call gets a new one.
    if (call->routine) spare = std::move(call);
    rerun = consume(result, owned);
  } while (rerun && !done);
  running = false;
}

void trv_json_iteration::complete(trvvar_shared& result, trv_runtime* owned) {
  if (consume(result, owned)) run();
}

bool trv_json_iteration::consume(trvvar_shared& result, trv_runtime* owned) {
  if (done) return false;
  if (json && on_result(called, result, owned)) {
    ++index;
    return true;
  }
  finish();
  return false;
}

void trv_json_iteration::finish() {
  if (done) return;
  done = true;
  spare.reset();
  key.reset();
  called = {};
  if (on_finish) on_finish();
  if (trv_task* waiting = task.get()) trv_task_wake(*waiting);
}

void trv_json_key_value_arguments(trv_json_iteration& it, uint32_t index,
                                  std::vector<trvvar_shared>& args, trv_runtime* owned) {
  const trv_json_entry& entry = it.json->entries[index];
  const std::string_view key = entry.key ? std::string_view(*entry.key) : std::string_view();
  trvvar_shared& reused = it.key;
  std::string* text = reused ? trv_sole_string_text(*reused) : nullptr;
  if (text != nullptr) {
    text->assign(key);
  } else {
    reused = trv_new_string_var(key, owned);
  }
  args.push_back(reused);
  args.push_back(entry.value);
}
