#pragma once

// A call frame: the execution context of one activation of compiled code, and the context
// every native function receives as its first argument.

#include <cstdint>
#include <vector>

#include "objects/object_ptr.h"
#include "values/var.h"

class trv_program_block;
class trvobject_base;
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
  int32_t refcount = 0;
  std::vector<trvvar_shared> locals;
  trvptr_weak<trvobject_base> bound_object;  // this, for a method
  uint32_t status = 0;
  uint8_t default_argument_in_progress = 0;
  uint8_t running = 0;
  uint8_t pending_operator_mode = 0;
  uint8_t pool_tag = trv_heap_tag;
};
