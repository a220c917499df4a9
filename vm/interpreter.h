#pragma once

// The interpreter: runs the code of one frame, the innermost of its task, from its saved
// position until the block ends, a control-flow event (break 2, continue 4, return 8) occurs,
// the frame hands control to a new frame (16) or waits for a value from another thread (32).
// Returns that status, 64 when the block ran to its end, or 128 when a runtime error stopped
// it. Only a task's loop calls it.

#include <cstddef>
#include <cstdint>

class trv_vm_context;
struct trv_runtime;

// `owned` is the runtime the calling thread owns (null: none), looked up once by the caller.
uint32_t trv_interpret(trv_vm_context& frame, trv_runtime* owned);

// Called before each instruction when set (the host's --trace, an instruction budget): the
// frame, its instruction and the operand-stack depth. A hook that sets the frame's status
// stops the frame before the instruction runs. Null by default, at the cost of one test per
// instruction.
using trv_trace_hook = void (*)(trv_vm_context& frame, const uint8_t* instruction,
                                size_t stack_depth);
void trv_set_trace_hook(trv_trace_hook hook);
