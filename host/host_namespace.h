#pragma once

// The "host" namespace: what the stand-in host gives programs so that they can show results
// and start script work the way native code does.
//   print(values...)      writes the text of each value, separated by single spaces, and a
//                         newline to standard output; returns none.
//   run(function, args...)
//                         runs the function value at once as a task of its own with the
//                         arguments, nested in the calling native call (the way a native
//                         method runs a callback synchronously); returns the task's result
//                         when it finished, else none. A value that is not a live function is
//                         the runtime error "not a function!".
//   routine(function, delay_ms)
//                         schedules the function value as a routine that starts after
//                         delay_ms milliseconds; the host's loop runs due routines in eta
//                         order, the earliest first. Returns none; "not a function!" as above.

#include "objects/namespace.h"

namespace trvhost {

void populate_host_namespace(trv_namespace& ns);

}  // namespace trvhost
