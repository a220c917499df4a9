// The command-line program, run as a user runs it.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct run_result {
  std::string output;  // standard output and error together
  int exit_status = -1;
};

run_result run_trvrun(const std::string& arguments) {
  run_result result;
  FILE* pipe = popen((TRV_TRVRUN_PATH " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  const int status = pclose(pipe);
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  return result;
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

  const run_result help = run_trvrun("--help");
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_EQ(help.output.rfind("usage: trvrun [--module PATH] [--help]\n", 0), 0u) << help.output;
}

}  // namespace
