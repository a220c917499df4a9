#pragma once

// A call frame: the execution context of one activation of compiled code, and the context
// every native function receives as its first argument. Frames come from the runtime's
// call-frame pool and keep their locals across uses.

#include <cstdint>
#include <functional>
#include <new>
#include <type_traits>
#include <vector>

#include "glue/object_ptr.h"
#include "values/payload_objects.h"
#include "values/pool.h"
#include "values/pooled.h"
#include "values/var.h"

class trv_program_block;
class trvobject_base;
class trvvar_ptr_function_lambda;
struct trv_task;

class trv_vm_context {
 public:
  trv_task* task = nullptr;            // the task whose frame stack holds the context
  trv_task* scope = nullptr;           // the task that defines the global scope
  trv_program_block* block = nullptr;  // the code being executed
  const uint8_t* instruction_pointer = nullptr;
  trvobject_base* native_object = nullptr;  // set only while a native method runs
  uint32_t saved_position = 0;              // where a suspended context resumes
  int32_t stack_depth = 0;
  uint32_t argument_count = 0;
  int32_t refcount = 0;  // the context goes back to its pool when the last count is dropped
  // The block's slots are the first `block->local_count`; a pooled context may keep more
  // records from an earlier use, which no index may reach.
  std::vector<trvvar_shared> locals;
  trvptr_weak<trvobject_base> bound_object;  // this, for a method
  uint32_t status = 0;
  uint8_t default_argument_in_progress = 0;
  uint8_t running = 0;
  uint8_t pending_operator_mode = 0;
  uint8_t pool_tag = trv_heap_tag;

  // Runs `callback` on a worker thread of the runtime's thread pool (vm/thread_job.h). The
  // context waits (status 32); the returned variable, none until then, receives the callback's
  // value, and the task resumes once the host consumes the job's completion. The two flags are
  // carried to the completion record for the host.
  trvvar_shared return_thread(std::function<trvvar_shared()> callback, bool first_flag = false,
                              bool second_flag = false);
};

// Gives a new context its first `local_count` locals (a pooled context mostly has them from an
// earlier use); on failure the context is released and the error passed on.
void trv_vm_context_grow_locals(trv_vm_context* context, uint32_t local_count, trv_runtime* owned);

// A context with count 1 for running `block`, from the call-frame pool when the calling thread
// owns its runtime. The locals grow to `local_count` slots, each new one a fresh none variable
// (slots of an earlier use are kept); saved position, stack depth, argument count and the three
// flag bytes are cleared.
trv_vm_context* trv_vm_context_create(trv_task* task, trv_task* scope, trv_program_block* block,
                                      uint32_t local_count,
                                      const trvptr_weak<trvobject_base>& bound_object);
// The same with the calling thread's owned runtime (or null) already looked up; inline, as
// every script call makes one.
inline trv_vm_context* trv_vm_context_create(trv_task* task, trv_task* scope,
                                             trv_program_block* block, uint32_t local_count,
                                             const trvptr_weak<trvobject_base>& bound_object,
                                             trv_runtime* owned) {
  trv_vm_context* context = trv_pooled_new<trv_vm_context>(owned);
  if (context == nullptr) throw std::bad_alloc();
  context->refcount = 1;
  context->task = task;
  context->scope = scope;
  context->block = block;
  if (context->locals.size() < local_count) trv_vm_context_grow_locals(context, local_count, owned);
  context->saved_position = 0;
  context->stack_depth = 0;
  context->argument_count = 0;
  context->default_argument_in_progress = 0;
  context->running = 0;
  context->pending_operator_mode = 0;
  context->bound_object = bound_object;
  return context;
}

// Copies a function value's captured variables into the slots after the block's parameters,
// when there is one for every capture the block declares and the context has slots for them.
void trv_vm_context_capture(trv_vm_context& context, trvvar_ptr_function_lambda* captures);

// Resets one local of a frame that leaves its use: an unshared variable becomes none in place
// (a string it alone holds goes straight back to the pools of `owned`, when there is one), a
// shared one is replaced by a fresh variable.
[[gnu::always_inline]] inline void trv_vm_context_reset_local(trvvar_shared& local,
                                                              trv_runtime* owned) {
  if (local && local->refcount == 1) {
    if (local->type >= TRVVAR_STRING &&
        !(local->flags == 0 && owned != nullptr && trv_release_string_payload(*local, *owned))) {
      trvvar_set_type(*local, TRVVAR_NONE);
    }
    trvvar_clear_plain(*local);
    local->flags = 0;
  } else {
    local = trvvar_new(owned);
  }
}

// Resets the locals of a frame that its task keeps for its next run, as a release would, except
// that a parameter slot holding a short string that nothing else holds keeps it: the next run's
// argument is copied into it in place, where a reset slot would need a new string.
void trv_vm_context_park(trv_vm_context& context, trv_runtime* owned);

// Drops one count. The last one resets every local, drops the bound object and returns the
// context to its pool.
void trv_vm_context_release(trv_vm_context* context);
// The same with the calling thread's owned runtime already looked up (null: look it up);
// inline, as every return from a script call drops its frame.
inline void trv_vm_context_release(trv_vm_context* context, trv_runtime* owned) {
  if (--context->refcount > 0) return;
  if (owned == nullptr) owned = trv_owned_runtime(trv_get_thread_local());
  for (trvvar_shared& local : context->locals) trv_vm_context_reset_local(local, owned);
  context->bound_object.reset();
  trv_pooled_release(context, owned);
}
