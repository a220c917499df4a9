#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/console_logger.h"

namespace {

TEST(ConsoleLogger, PrefixesEachCategoryAndSplitsTheStreams) {
  std::ostringstream out, err;
  trvhost::console_logger logger(out, err);
  logger.info("testfn called!");
  logger.warning("careful");
  logger.error("broken");
  logger.debug("class: std.json");
  logger.category_16("a");
  logger.category_32("b");
  EXPECT_EQ(out.str(),
            "[info] testfn called!\n[debug] class: std.json\n[category 16] a\n[category 32] b\n");
  EXPECT_EQ(err.str(), "[warning] careful\n[error] broken\n");
}

TEST(ConsoleLogger, LinesFromSeveralThreadsStayWhole) {
  std::ostringstream out, err;
  trvhost::console_logger logger(out, err);
  std::vector<std::thread> threads;
  for (char id : {'a', 'b', 'c', 'd'}) {
    threads.emplace_back([&logger, id] {
      for (int i = 0; i < 500; ++i) logger.info(std::string(40, id));
    });
  }
  for (std::thread& t : threads) t.join();
  std::istringstream lines(out.str());
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_EQ(line, "[info] " + std::string(40, line.back()));
  }
  EXPECT_EQ(count, 2000);
}

}  // namespace
