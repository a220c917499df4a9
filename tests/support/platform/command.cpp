#include "tests/support/platform/command.h"

#include <cstdio>

#if defined(_WIN32)
namespace {
// The C runtime's pclose gives the program's exit code itself.
int exit_status_of(int status) { return status; }
}  // namespace
#else
#include <sys/wait.h>

namespace {
int exit_status_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
}  // namespace
#endif

command_result run_command(const std::string& command_line) {
  command_result result;
  FILE* pipe = popen((command_line + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  result.exit_status = exit_status_of(pclose(pipe));
  return result;
}
