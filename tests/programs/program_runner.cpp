// Runs one program file through trvrun and compares everything it printed (standard output
// and log lines together) and its exit status with the expectations written in the file:
//
//   # expect: LINE     one line of output, in order ("# expect:" alone: an empty line)
//   # exit: N          the exit status (default 0)
//   # args: ARGS       further arguments for trvrun, before the file
//
// Usage: program_runner TRVRUN FILE

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/platform/command.h"

namespace {

struct expectations {
  std::string output;
  int exit_status = 0;
  std::string arguments;
};

// The text after `directive` when the line is that directive.
bool directive_value(std::string_view line, std::string_view directive, std::string& value) {
  if (!line.starts_with(directive)) return false;
  line.remove_prefix(directive.size());
  if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  value.assign(line);
  return true;
}

expectations read_expectations(std::istream& in) {
  expectations expected;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    const std::string_view text = std::string_view(line).substr(start);
    std::string value;
    if (directive_value(text, "# expect:", value)) {
      expected.output += value + "\n";
    } else if (directive_value(text, "# exit:", value)) {
      expected.exit_status = std::stoi(value);
    } else if (directive_value(text, "# args:", value)) {
      expected.arguments = value;
    }
  }
  return expected;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Prints where the output first departs from the expectation.
void report_difference(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> want = lines_of(expected);
  const std::vector<std::string> got = lines_of(actual);
  size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  std::cerr << "output differs at line " << i + 1 << "\n";
  std::cerr << "  expected: " << (i < want.size() ? want[i] : "(end of output)") << "\n";
  std::cerr << "  actual:   " << (i < got.size() ? got[i] : "(end of output)") << "\n";
  std::cerr << "---- whole output ----\n" << actual << "----------------------\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: program_runner TRVRUN FILE\n";
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << argv[2] << "\n";
    return 2;
  }
  const expectations expected = read_expectations(in);
  std::string command = argv[1];
  if (!expected.arguments.empty()) command += " " + expected.arguments;
  command += " " + std::string(argv[2]);
  command_result run = run_command(command);
  // Line ends as the platform writes them.
  std::string output;
  for (const std::string& line : lines_of(run.output)) output += line + "\n";
  bool passed = true;
  if (output != expected.output) {
    report_difference(expected.output, output);
    passed = false;
  }
  if (run.exit_status != expected.exit_status) {
    std::cerr << "exit status " << run.exit_status << ", expected " << expected.exit_status << "\n";
    passed = false;
  }
  return passed ? 0 : 1;
}
