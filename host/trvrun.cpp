// trvrun: the stand-in host's command-line program. Given a program file it assembles it,
// loads the module and runs the program against it; without one it lists the namespaces and
// functions the module registers and calls opencv.testfn to prove the module works.

#include <algorithm>
#include <charconv>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/assembler.h"
#include "host/console_logger.h"
#include "host/host_namespace.h"
#include "host/listing.h"
#include "host/module_loader.h"
#include "host/platform/system_text.h"
#include "host/runtime_driver.h"
#include "host/standard_classes.h"
#include "host/task_loop.h"
#include "host/thread_state.h"
#include "host/worker_pool.h"
#include "objects/function_def.h"
#include "values/convert.h"
#include "vm/interpreter.h"
#include "vm/task.h"
#include "vm/vm_context.h"

namespace {

constexpr std::string_view usage =
    "usage: trvrun [--module PATH] [--log-mask N] [--workers N] [--trace] [--list] [FILE]\n"
    "       trvrun --help\n"
    "\n"
    "Runs the program FILE (the assembler text form, see docs/assembler.md) against a\n"
    "tarvoscript module, by default the trvmodule_opencv built with this program. Exit status:\n"
    "0 when the program ends, 1 when a runtime error reached its global block, 2 when FILE\n"
    "does not assemble. Without FILE it lists the module's namespaces and functions and calls\n"
    "opencv.testfn.\n"
    "\n"
    "  --module PATH  the module library to load\n"
    "  --log-mask N   the logger's category mask (1 info, 2 warning, 4 error, 8 debug; default\n"
    "                 39)\n"
    "  --workers N    worker threads for jobs that natives move off the script thread\n"
    "                 (default: the hardware threads, at least 2; from 1 to 1024)\n"
    "  --trace        print each instruction as it executes: offset, mnemonic, operands and\n"
    "                 operand-stack depth\n"
    "  --list         print the assembled program instead of running it\n";

constexpr int exit_runtime_error = 1;
constexpr int exit_assembly_error = 2;

struct options {
  std::string module_path = TRV_DEFAULT_MODULE_PATH;
  std::string program_path;
  uint32_t log_mask = trv_default_log_mask;
  unsigned workers = trvhost::worker_pool::default_count();
  bool help = false;
  bool trace = false;
  bool list = false;
};

uint32_t parse_number(std::string_view option, std::string_view text) {
  uint32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw std::runtime_error(std::string(option) + " needs a number, not " + std::string(text));
  }
  return number;
}

// Throws std::runtime_error on an argument it does not know.
options parse_arguments(const std::vector<std::string>& arguments) {
  options parsed;
  const size_t count = arguments.size();
  for (size_t i = 0; i < count; ++i) {
    const std::string_view arg = arguments[i];
    if (arg == "--help") {
      parsed.help = true;
    } else if (arg == "--module") {
      if (i + 1 == count) throw std::runtime_error("--module needs a PATH");
      parsed.module_path = arguments[++i];
    } else if (arg == "--log-mask") {
      if (i + 1 == count) throw std::runtime_error("--log-mask needs a number");
      parsed.log_mask = parse_number(arg, arguments[++i]);
    } else if (arg == "--workers") {
      if (i + 1 == count) throw std::runtime_error("--workers needs a number");
      parsed.workers = parse_number(arg, arguments[++i]);
      if (parsed.workers == 0) throw std::runtime_error("--workers needs at least 1");
      if (parsed.workers > trvhost::worker_pool::max_count()) {
        throw std::runtime_error("--workers needs at most " +
                                 std::to_string(trvhost::worker_pool::max_count()));
      }
    } else if (arg == "--trace") {
      parsed.trace = true;
    } else if (arg == "--list") {
      parsed.list = true;
    } else if (arg.starts_with("--") || !parsed.program_path.empty()) {
      throw std::runtime_error("unexpected argument " + std::string(arg) + " (see --help)");
    } else {
      parsed.program_path = arg;
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

void show_module(const trvhost::module_loader& module) {
  for (const auto& [name, ns] : module.namespaces()) print_namespace(name, ns);
  call_testfn(module);
}

std::string read_file(const std::string& path) {
  // A directory opens as a stream with nothing to read, which would pass for an empty program.
  const std::filesystem::path file = trvhost::utf8_path(path);
  std::error_code ignored;
  if (std::filesystem::is_directory(file, ignored)) {
    throw std::runtime_error("cannot read " + path + ": it is a directory");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Natives by "namespace.name": the module's namespaces, then the host's own.
trvhost::native_resolver resolver_for(const trvhost::module_loader& module,
                                      const trv_namespace& host) {
  return [&module, &host](std::string_view ns, std::string_view name) -> trv_function_def* {
    const trv_namespace* found = ns == "host" ? &host : module.find_namespace(ns);
    if (found == nullptr) return nullptr;
    auto function = found->functions.find(name);
    if (function == found->functions.end() || !function->second) return nullptr;
    return trvhost::native_definition(*function->second);
  };
}

// The names of the traced program's natives, so that a trace line reads as assembler text.
const trvhost::native_name_map* traced_natives = nullptr;

void print_trace(trv_vm_context& frame, const uint8_t* instruction, size_t depth) {
  const trv_program_block& block = *frame.block;
  const auto offset = static_cast<uint32_t>(instruction - block.code_begin());
  std::cout << "[trace] " << block.name << " "
            << trvhost::format_instruction(block, offset, traced_natives) << " (stack " << depth
            << ")\n";
}

// Assembles and runs the program; returns the exit status.
int run_program(const options& parsed, const trvhost::module_loader& module) {
  trvhost::register_standard_classes();
  // Workers report through the runtime's logger, the same console logger as this thread's.
  trvhost::runtime_driver driver("trvrun", trvhost::thread_state().logger);
  driver.take_ownership();
  trv_namespace host;
  trvhost::populate_host_namespace(host);
  const std::string text = read_file(parsed.program_path);
  std::optional<trvhost::assembled_program> program;
  try {
    program = trvhost::assemble(text, parsed.program_path, resolver_for(module, host));
  } catch (const trvhost::assembly_error& error) {
    std::cout.flush();
    std::cerr << error.what() << "\n";
    return exit_assembly_error;
  }
  if (parsed.list) {
    std::cout << trvhost::list_program(*program);
    return 0;
  }
  if (parsed.trace) {
    traced_natives = &program->native_names;
    trv_set_trace_hook(print_trace);
  }
  bool failed = false;
  {
    trvhost::task_loop loop(driver);
    trvhost::worker_pool workers(driver.runtime(), parsed.workers);
    trvptr_strong<trv_task> root = trv_task_for_block(program->root);
    failed = loop.run(root);
  }
  trv_set_trace_hook(nullptr);
  program.reset();  // its variables go back to the runtime's pools
  return failed ? exit_runtime_error : 0;
}

int run(const options& parsed) {
  trvhost::module_loader module(parsed.module_path);
  if (parsed.program_path.empty()) {
    show_module(module);
    return 0;
  }
  return run_program(parsed, module);
}

}  // namespace

int main(int argc, char** argv) {
  trvhost::use_binary_console();
  try {
    const options parsed = parse_arguments(trvhost::utf8_arguments(argc, argv));
    if (parsed.help) {
      std::cout << usage;
      return 0;
    }
    // Installed before loading, so that whatever the module logs on this thread is printed.
    trvptr_strong<trv_log_base> logger = trvhost::make_console_logger();
    logger->mask = parsed.log_mask;
    trvhost::thread_state().logger = logger;
    return run(parsed);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "trvrun: " << error.what() << "\n";
    return 1;
  }
}
