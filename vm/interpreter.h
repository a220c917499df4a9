#pragma once

// The interpreter: runs the innermost frame of a task from its saved position. A frame that a
// call or nested block pushes runs next in the same run, and when a frame ends (its code runs
// out, or a function returns from its own frame) the suspended frame below it resumes in the
// same run too. Everything else goes back to the task's loop: a control-flow event (break 2,
// continue 4, a return the loop must unwind 8), a frame pushed at the frame limit or in a
// stopped task (16), a wait for a value from another thread (32), a frame that ended with no
// suspended frame below it (64) and a runtime error (128); the status returned is that of the
// task's innermost frame. Only a task's loop calls it.

#include <cstddef>
#include <cstdint>

class trv_vm_context;
struct trv_runtime;

// `owned` is the runtime the calling thread owns (null: none), looked up once by the caller.
uint32_t trv_interpret(trv_vm_context& first, trv_runtime* owned);

// Called before each instruction when set (the host's --trace, an instruction budget): the
// frame, its instruction and the operand-stack depth. A hook that sets the frame's status
// stops the frame before the instruction runs. Null by default; a run started without it tests
// nothing for it per instruction.
using trv_trace_hook = void (*)(trv_vm_context& frame, const uint8_t* instruction,
                                size_t stack_depth);
void trv_set_trace_hook(trv_trace_hook hook);
