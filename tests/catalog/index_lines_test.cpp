#include "catalog/index_lines.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace catpack {
namespace {

std::vector<IndexLine> linesOf(const std::string& text, bool oldFormat) {
  std::vector<IndexLine> lines;
  forEachIndexLine(reinterpret_cast<const unsigned char*>(text.data()), text.size(), oldFormat,
                   [&](const IndexLine& line) { lines.push_back(line); });
  return lines;
}

const std::string digest = "d41d8cd98f00b204e9800998ecf8427e";

TEST(IndexLines, ReadsFullAndShortLinesFromTheRight) {
  const auto lines = linesOf("my file.txt 10 7 " + digest + "\r\n\r\n\ndata/a.xml 120\na.xml 120 7\n"
                             "neg -5 -3 " + digest + "\nlast 4 5 " + digest, false);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0].name, "my file.txt");
  EXPECT_EQ(lines[0].size, 10);
  EXPECT_EQ(lines[0].time, 7);
  EXPECT_EQ(lines[0].digest, digest);
  EXPECT_EQ(lines[1].name, "data/a.xml");
  EXPECT_EQ(lines[1].size, 120);
  EXPECT_EQ(lines[1].digest, "");
  EXPECT_EQ(lines[2].name, "a.xml 120") << "without a digest the line is short";
  EXPECT_EQ(lines[2].size, 7);
  EXPECT_EQ(lines[3].size, -5);
  EXPECT_EQ(lines[3].time, -3);
  EXPECT_EQ(lines[4].name, "last") << "a last line without a line break";
}

TEST(IndexLines, ALastFieldIsADigestOnlyWhenItIsThirtyTwoBytesWithoutSpaces) {
  const std::string spaced = digest.substr(0, 5) + " " + digest.substr(6);
  const auto lines = linesOf("a 1 2 " + spaced + "\nb 3 4  " + digest + "\nc 5 6 x" + digest +
                                 "\n" + digest + " 7 8 " + digest + "\n",
                             false);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].name, "a 1 2 " + digest.substr(0, 5)) << "26 bytes after the last space";
  EXPECT_EQ(lines[0].digest, "");
  EXPECT_EQ(lines[1].name, "b 3");
  EXPECT_EQ(lines[1].size, 4);
  EXPECT_EQ(lines[1].time, 0) << "an empty time field between two spaces";
  EXPECT_EQ(lines[1].digest, digest);
  EXPECT_EQ(lines[2].name, "c 5 6") << "33 bytes: a short line";
  EXPECT_EQ(lines[2].digest, "");
  EXPECT_EQ(lines[3].name, digest);
  EXPECT_EQ(lines[3].size, 7);
  EXPECT_EQ(lines[3].time, 8);
}

TEST(IndexLines, PassesOverLinesOutsideTheGrammar) {
  const auto lines = linesOf("nospace\n leading\nx " + digest + "\n7 " + digest + "\n\n", false);
  EXPECT_TRUE(lines.empty());
}

TEST(IndexLines, ConvertsNumbersLikeAtoi) {
  const auto lines = linesOf("a 12abc\nb +3\nc x\nd 4294967297\n", false);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].size, 12);
  EXPECT_EQ(lines[1].size, 3);
  EXPECT_EQ(lines[2].size, 0);
  EXPECT_EQ(lines[3].size, 1) << "beyond 32 bits the value wraps";
}

TEST(IndexLines, OldFormatSkipsTheFirstLine) {
  const auto lines = linesOf("foo.dat 99\nname with space 3\n", true);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].name, "name with space");
  EXPECT_EQ(lines[0].size, 3);
  const auto leading = linesOf("\r\nfirst 1\n", true);
  ASSERT_EQ(leading.size(), 1u) << "a text starting with a line break has an empty line 0";
  EXPECT_EQ(leading[0].name, "first");
}

TEST(IndexLines, NamesEndAtTheirFirstNulByte) {
  const auto lines = linesOf(std::string("ab\0cd 5\n", 8), false);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].name, "ab");
  EXPECT_EQ(lines[0].size, 5);
}

}  // namespace
}  // namespace catpack
