// Runs one program file through trvrun and compares everything it printed (standard output
// and log lines together) and its exit status with the expectations written in the file:
//
//   # expect: LINE     one line of output, in order ("# expect:" alone: an empty line)
//   # exit: N          the exit status (default 0)
//   # args: ARGS       further arguments for trvrun, before the file
//
// In an expected line, {addr} stands for an address as messages print it (16 upper-case
// hexadecimal digits) and {n} for a decimal number, so that lines naming a task or a time can
// be expected although those differ from run to run.
//
// A program whose arguments do not ask for a trace runs a second time with --trace, and its
// output without the trace lines must meet the same expectations. A traced run takes every
// instruction on its own where an untraced one takes some pairs as one step, so both roads
// are held to the program's output.
//
// Usage: program_runner TRVRUN FILE

#include <algorithm>
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

bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// Whether `line` is what `pattern` expects, its placeholders standing for what they match.
bool line_matches(std::string_view pattern, std::string_view line) {
  constexpr std::string_view address = "{addr}";
  constexpr std::string_view number = "{n}";
  while (!pattern.empty()) {
    if (pattern.starts_with(address)) {
      if (line.size() < 16 || !std::all_of(line.begin(), line.begin() + 16, is_upper_hex)) {
        return false;
      }
      pattern.remove_prefix(address.size());
      line.remove_prefix(16);
    } else if (pattern.starts_with(number)) {
      const size_t digits = std::min(line.find_first_not_of("0123456789"), line.size());
      if (digits == 0) return false;
      pattern.remove_prefix(number.size());
      line.remove_prefix(digits);
    } else {
      if (line.empty() || line.front() != pattern.front()) return false;
      pattern.remove_prefix(1);
      line.remove_prefix(1);
    }
  }
  return line.empty();
}

// Prints where the output first departs from the expectation; false when it does not.
bool report_difference(const std::string& expected, const std::string& actual) {
  const std::vector<std::string> want = lines_of(expected);
  const std::vector<std::string> got = lines_of(actual);
  size_t i = 0;
  while (i < want.size() && i < got.size() && line_matches(want[i], got[i])) ++i;
  if (i == want.size() && i == got.size()) return false;
  std::cerr << "output differs at line " << i + 1 << "\n";
  std::cerr << "  expected: " << (i < want.size() ? want[i] : "(end of output)") << "\n";
  std::cerr << "  actual:   " << (i < got.size() ? got[i] : "(end of output)") << "\n";
  std::cerr << "---- whole output ----\n" << actual << "----------------------\n";
  return true;
}

// Runs the program with `arguments` and checks its output (without trace lines) and exit
// status; `label` names the run in a report.
bool run_meets(const std::string& trvrun, const std::string& arguments, const std::string& file,
               const expectations& expected, std::string_view label) {
  std::string command = trvrun;
  if (!arguments.empty()) command += " " + arguments;
  command += " " + file;
  command_result run = run_command(command);
  // Line ends as the platform writes them.
  std::string output;
  for (const std::string& line : lines_of(run.output)) {
    if (!line.starts_with("[trace] ") || expected.arguments.find("--trace") != std::string::npos) {
      output += line + "\n";
    }
  }
  bool passed = true;
  if (report_difference(expected.output, output)) {
    std::cerr << "(" << label << " run)\n";
    passed = false;
  }
  if (run.exit_status != expected.exit_status) {
    std::cerr << label << " run: exit status " << run.exit_status << ", expected "
              << expected.exit_status << "\n";
    passed = false;
  }
  return passed;
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
  bool passed = run_meets(argv[1], expected.arguments, argv[2], expected, "plain");
  if (expected.arguments.find("--trace") == std::string::npos) {
    passed =
        run_meets(argv[1], "--trace " + expected.arguments, argv[2], expected, "traced") && passed;
  }
  return passed ? 0 : 1;
}
