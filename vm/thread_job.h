#pragma once

// Work a native function moves off the script thread: the producer side of
// trv_vm_context::return_thread and what a worker thread does with a job. The rings the jobs
// and their completions travel through are in values/job_rings.h; the worker threads and the
// loop that consumes completions belong to the host.
//
// A job's life: return_thread makes the calling context wait, creates the result variable and
// keeps a second reference to it for the job, with strong references to the task and its
// scope; raises the task's thread-job count and submits the job. A worker runs the callback,
// sets the result variable to its value, puts the completion into the ring, lowers the count
// (after which it no longer touches the task, which may be gone at once) and calls the
// runtime's wake-up callback. A count, not a flag: once the completion is in the ring the task
// can wake and submit its next job before this worker lowers it, and a cleared flag would then
// let the task be destroyed under the second job's worker. The owner consumes the completion,
// wakes the task and drops the job's references on its own thread.

#include "values/job_rings.h"

// Pause between attempts to submit while the thread pool's ring is full.
inline constexpr int trv_overload_retry_microseconds = 100;

// The worker side of one job, on the worker's thread. The job is left empty.
void trv_thread_job_run(trv_thread_job& job);
