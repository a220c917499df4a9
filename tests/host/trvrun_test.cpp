// The command-line program, run as a user runs it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/platform/command.h"

namespace {

using run_result = command_result;

run_result run_trvrun(const std::string& arguments) {
  return run_command(TRV_TRVRUN_PATH " " + arguments);
}

TEST(Trvrun, ListsTheModuleAndCallsTestfn) {
  const run_result run = run_trvrun("");
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_NE(run.output.find("namespace opencv\n  testfn (max params 0)\n    no documentation\n"),
            std::string::npos)
      << run.output;
  const size_t logged = run.output.find("[info] testfn called!\n");
  const size_t result = run.output.find("opencv.testfn() -> \"TEST PASSED\"\n");
  ASSERT_NE(result, std::string::npos) << run.output;
  EXPECT_LT(logged, result);
  EXPECT_EQ(run_trvrun("--module " TRV_MODULE_PATH).output, run.output);
}

TEST(Trvrun, FailuresAreOneLineAndNonZero) {
  const run_result missing = run_trvrun("--module /nonexistent/trvmodule_missing.so");
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(missing.output.rfind("trvrun: cannot open /nonexistent/trvmodule_missing.so", 0), 0u)
      << missing.output;
  EXPECT_EQ(missing.output.find('\n'), missing.output.size() - 1) << missing.output;

  const run_result unknown = run_trvrun("--verbose");
  EXPECT_EQ(unknown.exit_status, 1);
  EXPECT_EQ(unknown.output, "trvrun: unexpected argument --verbose (see --help)\n");
  EXPECT_EQ(run_trvrun("--module").output, "trvrun: --module needs a PATH\n");
  EXPECT_EQ(run_trvrun("--workers 0").output, "trvrun: --workers needs at least 1\n");
  EXPECT_EQ(run_trvrun("--workers 100000").output, "trvrun: --workers needs at most 1024\n");
  EXPECT_EQ(run_trvrun("--workers x").output, "trvrun: --workers needs a number, not x\n");
  const run_result directory = run_trvrun(".");
  EXPECT_EQ(directory.exit_status, 1);
  EXPECT_EQ(directory.output, "trvrun: cannot read .: it is a directory\n");

  const run_result help = run_trvrun("--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.output.rfind(
                "usage: trvrun [--module PATH] [--log-mask N] [--workers N] [--trace] [--list] "
                "[FILE]\n",
                0),
            0u)
      << help.output;
}

// A program whose name is outside any one code page runs, and what it prints comes out byte for
// byte: a "\r\n" in a string stays as it is.
TEST(Trvrun, NamesInAnyScriptAndOutputBytesPassUnchanged) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() / u8"trvrun_Ωé.tasm";
  std::ofstream(file, std::ios::binary) << ".block main global\n.root\n  push_none\n"
                                           "  native host.print\n  call_prepare 1\n  push_none\n"
                                           "  string \"a\\r\\nb\"\n  call_arg 0\n  pop\n"
                                           "  call\n  pop\n";
  const std::u8string name = file.u8string();
  const run_result run = run_trvrun("\"" + std::string(name.begin(), name.end()) + "\"");
  std::filesystem::remove(file);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(run.output, "a\r\nb\n");
}

}  // namespace
