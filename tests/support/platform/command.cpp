#include "tests/support/platform/command.h"

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>

namespace {
// The command line is UTF-8: the wide call passes names outside the ANSI code page whole, and
// the output is read as the bytes written.
FILE* open_pipe(const std::string& command_line) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, command_line.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, command_line.c_str(), -1, wide.data(), size);
  return _wpopen(wide.c_str(), L"rb");
}
// The C runtime's pclose gives the program's exit code itself.
int exit_status_of(int status) { return status; }
}  // namespace
#else
#include <sys/wait.h>

namespace {
FILE* open_pipe(const std::string& command_line) { return popen(command_line.c_str(), "r"); }
int exit_status_of(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
}  // namespace
#endif

command_result run_command(const std::string& command_line) {
  command_result result;
  FILE* pipe = open_pipe(command_line + " 2>&1");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  result.exit_status = exit_status_of(pclose(pipe));
  return result;
}
