#include "host/host_namespace.h"

#include <iostream>
#include <string>

#include "values/convert.h"

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

}  // namespace

void populate_host_namespace(trv_namespace& ns) {
  add_function(ns, "print", print, 0, trv_any_param_count,
               "Prints the text of each value, separated by spaces, and a newline");
}

}  // namespace trvhost
