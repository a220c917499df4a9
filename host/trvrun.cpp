// trvrun: the stand-in host's command-line program. It loads a module, lists the namespaces
// and functions the module registers, and calls opencv.testfn to prove the module works.

#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/console_logger.h"
#include "host/module_loader.h"
#include "host/thread_state.h"
#include "objects/function_def.h"
#include "values/convert.h"

namespace {

constexpr std::string_view usage =
    "usage: trvrun [--module PATH] [--help]\n"
    "\n"
    "Loads a tarvoscript module (by default the trvmodule_opencv built with this program),\n"
    "lists its namespaces and functions, and calls opencv.testfn.\n";

struct options {
  std::string module_path = TRV_DEFAULT_MODULE_PATH;
  bool help = false;
};

// Throws std::runtime_error on an argument it does not know.
options parse_arguments(int argc, char** argv) {
  options parsed;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      parsed.help = true;
    } else if (arg == "--module") {
      if (i + 1 == argc) throw std::runtime_error("--module needs a PATH");
      parsed.module_path = argv[++i];
    } else {
      throw std::runtime_error("unexpected argument " + std::string(arg) + " (see --help)");
    }
  }
  return parsed;
}

void print_definition(std::string_view name, const trv_function_def* definition) {
  if (definition == nullptr) {
    std::cout << "  " << name << " (not a native function)\n";
    return;
  }
  std::cout << "  " << name << " (max params ";
  if (definition->max_params == trv_any_param_count) {
    std::cout << "any";
  } else {
    std::cout << definition->max_params;
  }
  if (!definition->class_name.empty()) std::cout << ", class " << definition->class_name;
  std::cout << ")\n";
  if (definition->documentation.empty()) {
    std::cout << "    no documentation\n";
  } else {
    std::cout << "    " << definition->documentation << "\n";
  }
  for (std::string_view parameter : definition->parameter_documentation) {
    std::cout << "    param " << parameter << "\n";
  }
}

void print_namespace(std::string_view name, const trv_namespace& ns) {
  std::cout << "namespace " << name << "\n";
  std::vector<std::pair<std::string_view, const trvvar*>> functions;
  for (const auto& [function, variable] : ns.functions) {
    functions.emplace_back(function, variable.get());
  }
  std::sort(functions.begin(), functions.end());
  for (const auto& [function, variable] : functions) {
    print_definition(function, variable ? trvhost::native_definition(*variable) : nullptr);
  }
}

void call_testfn(const trvhost::module_loader& module) {
  const trv_namespace* opencv = module.find_namespace("opencv");
  if (opencv == nullptr) throw std::runtime_error("the module has no opencv namespace");
  trv_vm_context context;
  std::vector<trvvar_shared> args;
  trvvar_shared result = trvhost::call_native_function(*opencv, "testfn", context, args);
  std::cout << "opencv.testfn() -> \"" << (result ? trvvar_string_value(*result) : "") << "\"\n";
}

void run(const options& parsed) {
  trvhost::module_loader module(parsed.module_path);
  for (const auto& [name, ns] : module.namespaces()) print_namespace(name, ns);
  call_testfn(module);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const options parsed = parse_arguments(argc, argv);
    if (parsed.help) {
      std::cout << usage;
      return 0;
    }
    // Installed before loading, so that whatever the module logs on this thread is printed.
    trvhost::thread_state().logger = trvhost::make_console_logger();
    run(parsed);
    return 0;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "trvrun: " << error.what() << "\n";
    return 1;
  }
}
