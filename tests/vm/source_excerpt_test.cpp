#include <gtest/gtest.h>

#include <algorithm>

#include "vm/source_excerpt.h"

namespace {

const std::string rule(60, '-');

trv_source_unit unit_of(std::string name, std::string text, const trv_source_unit* parent) {
  trv_source_unit unit;
  unit.file_name = name + ".trv";
  unit.display_name = std::move(name);
  unit.text = std::move(text);
  unit.parent = parent;
  return unit;
}

std::string error_excerpt(const trv_source_token& token, std::string_view message) {
  return trv_source_excerpt(trv_runtime_error_heading, token, message).value_or("(none)");
}

TEST(SourceExcerpt, OneUnitWithACaretUnderTheColumn) {
  const trv_source_unit main = unit_of("main", "let x = 1;\nprint(y);\n", nullptr);
  EXPECT_EQ(error_excerpt({&main, 2, 6}, "y is unknown"),
            "Runtime Error\n" + rule +
                "\n"
                " --> main.trv:2:6\n"
                "   |\n"
                " 2 | print(y);\n"
                "   |       ^~~~~\n"
                "   |\n"
                "y is unknownmain --> Line 2, Index 6\n" +
                rule);
  EXPECT_EQ(trv_source_excerpt(trv_runtime_warning_heading, {&main, 1, 0}, "").value(),
            "Runtime Warning\n" + rule +
                "\n"
                " --> main.trv:1:0\n"
                "   |\n"
                " 1 | let x = 1;\n"
                "   | ^~~~~\n"
                "   |\n"
                "main --> Line 1, Index 0\n" +
                rule);
}

// Indentation goes only when the column is at or past the code, and the caret moves with it;
// a column past the line's end gets no caret line. A line of spaces only has no code.
TEST(SourceExcerpt, IndentationAndColumnsOutsideTheLine) {
  const trv_source_unit main = unit_of("main", "    call(z);\n    end\n    \n", nullptr);
  EXPECT_EQ(error_excerpt({&main, 1, 9}, "m"), "Runtime Error\n" + rule +
                                                   "\n"
                                                   " --> main.trv:1:9\n"
                                                   "   |\n"
                                                   " 1 | call(z);\n"
                                                   "   |      ^~~~~\n"
                                                   "   |\n"
                                                   "mmain --> Line 1, Index 9\n" +
                                                   rule);
  EXPECT_EQ(error_excerpt({&main, 1, 2}, "m"), "Runtime Error\n" + rule +
                                                   "\n"
                                                   " --> main.trv:1:2\n"
                                                   "   |\n"
                                                   " 1 |     call(z);\n"
                                                   "   |   ^~~~~\n"
                                                   "   |\n"
                                                   "mmain --> Line 1, Index 2\n" +
                                                   rule);
  for (uint32_t column : {7u, 20u}) {
    EXPECT_EQ(error_excerpt({&main, 2, column}, "m"),
              "Runtime Error\n" + rule + "\n --> main.trv:2:" + std::to_string(column) +
                  "\n"
                  "   |\n"
                  " 2 | end\n"
                  "   |\n"
                  "mmain --> Line 2, Index " +
                  std::to_string(column) + "\n" + rule);
  }
  EXPECT_EQ(error_excerpt({&main, 3, 4}, "m"), "Runtime Error\n" + rule +
                                                   "\n"
                                                   " --> main.trv:3:4\n"
                                                   "   |\n"
                                                   " 3 |     \n"
                                                   "   |\n"
                                                   "mmain --> Line 3, Index 4\n" +
                                                   rule);
}

TEST(SourceExcerpt, TheMarginFollowsTheWidthOfTheLineNumber) {
  std::string text;
  for (int line = 1; line <= 100; ++line) text += "x" + std::to_string(line) + "\n";
  const trv_source_unit main = unit_of("main", text, nullptr);
  EXPECT_EQ(error_excerpt({&main, 12, 1}, "m"), "Runtime Error\n" + rule +
                                                    "\n"
                                                    "  --> main.trv:12:1\n"
                                                    "    |\n"
                                                    " 12 | x12\n"
                                                    "    |  ^~~~~\n"
                                                    "    |\n"
                                                    "mmain --> Line 12, Index 1\n" +
                                                    rule);
  EXPECT_EQ(error_excerpt({&main, 100, 3}, "m"), "Runtime Error\n" + rule +
                                                     "\n"
                                                     "   --> main.trv:100:3\n"
                                                     "     |\n"
                                                     " 100 | x100\n"
                                                     "     |    ^~~~~\n"
                                                     "     |\n"
                                                     "mmain --> Line 100, Index 3\n" +
                                                     rule);
}

TEST(SourceExcerpt, NestedUnitsPrintTheirChainOutermostFirst) {
  const trv_source_unit main = unit_of("main", "include util;\n", nullptr);
  const trv_source_unit util = unit_of("util", "include deep;\n", &main);
  const trv_source_unit deep = unit_of("deep", "boom();\n", &util);
  EXPECT_EQ(error_excerpt({&util, 1, 0}, "bad"), "Runtime Error\n" + rule +
                                                     "\n"
                                                     " --> util.trv:1:0\n"
                                                     "   |\n"
                                                     " 1 | include deep;\n"
                                                     "   | ^~~~~\n"
                                                     "   |\n"
                                                     "badmain\n"
                                                     "   `--> Line 1, Index 0\n"
                                                     "\n" +
                                                     rule);
  EXPECT_EQ(trv_include_chain({&deep, 1, 4}),
            "main\n"
            "   |-- util\n"
            "      `--> Line 1, Index 4\n");
}

TEST(SourceExcerpt, AParentCycleEndsTheChainAtTheDepthCap) {
  trv_source_unit a = unit_of("a", "x\n", nullptr);
  trv_source_unit b = unit_of("b", "y\n", &a);
  a.parent = &b;
  const std::string chain = trv_include_chain({&a, 1, 0});
  EXPECT_EQ(std::count(chain.begin(), chain.end(), '\n'), 1024);
}

TEST(SourceExcerpt, TokensWithoutSourceGiveNoExcerpt) {
  const trv_source_unit main = unit_of("main", "one\ntwo\n", nullptr);
  EXPECT_EQ(trv_source_excerpt(trv_runtime_error_heading, {nullptr, 1, 0}, "m"), std::nullopt);
  EXPECT_EQ(trv_source_excerpt(trv_runtime_error_heading, {&main, 3, 0}, "m"), std::nullopt);
  EXPECT_EQ(trv_tokenless_report("lost"),
            "While handling an error, a token without AST was passed.\nlost");
}

TEST(PlainReport, HeadingRuleMessageRule) {
  EXPECT_EQ(trv_plain_report(trv_runtime_error_heading, "bad"),
            "Runtime Error\n" + rule + "\nbad\n" + rule);
  EXPECT_EQ(trv_plain_report(trv_runtime_warning_heading, ""),
            "Runtime Warning\n" + rule + "\n\n" + rule);
}

}  // namespace
