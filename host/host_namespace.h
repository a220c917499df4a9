#pragma once

// The "host" namespace: what the stand-in host gives programs so that they can show results.
//   print(values...)  writes the text of each value, separated by single spaces, and a newline
//                     to standard output; returns none.

#include "objects/namespace.h"

namespace trvhost {

void populate_host_namespace(trv_namespace& ns);

}  // namespace trvhost
