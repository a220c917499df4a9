#pragma once

// Running a command line as a user would and collecting what it printed: the one
// platform-specific piece of the tests that start programs.

#include <string>

struct command_result {
  std::string output;  // standard output and error together
  int exit_status = -1;
};

// Runs `command_line` (UTF-8) through the system's shell with its standard error joined to its
// standard output, which is collected byte for byte.
command_result run_command(const std::string& command_line);
