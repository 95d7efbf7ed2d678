#include "pattern/pattern_matcher.h"

#include <string>

#include <gtest/gtest.h>

#include "pattern/pattern_compiler.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

int matches(const char* pattern, const char* text) {
  PatternHandle compiled = compilePattern(pattern);
  EXPECT_NE(compiled, nullptr) << pattern;
  return matchPattern(compiled.get(), text);
}

TEST(PatternMatcher, SearchesAnywhereUnlessAnchored) {
  EXPECT_EQ(matches("", ""), 1);
  EXPECT_EQ(matches("", "abc"), 1);
  EXPECT_EQ(matches("abc", "xxabcxx"), 1);
  EXPECT_EQ(matches("^abc", "xabc"), 0);
  EXPECT_EQ(matches("^abc", "abcx"), 1);
  EXPECT_EQ(matches("c$", "abc"), 1);
  EXPECT_EQ(matches("c$", "abcd"), 0);
  EXPECT_EQ(matches("ABC", "abc"), 0);
  EXPECT_EQ(matches("^assets/", "assets/x.xml"), 1);
  EXPECT_EQ(matches("^assets/", "extensions/assets/x.xml"), 0);
  EXPECT_EQ(matches("\\.xml$", "a/b.xml"), 1);
  EXPECT_EQ(matches("\\.xml$", "a/b.xml.gz"), 0);
}

TEST(PatternMatcher, RepeatsAndBacktracks) {
  EXPECT_EQ(matches("x*", ""), 1);
  EXPECT_EQ(matches("a+b", "aaab"), 1);
  EXPECT_EQ(matches("a+b", "b"), 0);
  EXPECT_EQ(matches("(a|ab)c", "abc"), 1);
  EXPECT_EQ(matches("a.c", "a\nc"), 1);
  EXPECT_EQ(matches("^(ab)+$", "ababab"), 1);
  EXPECT_EQ(matches("^(ab)+$", "ababa"), 0);
  EXPECT_EQ(matches("^[^/]*$", "dir/x"), 0);
  EXPECT_EQ(matches("^a?b?c?$", "ac"), 1);
  EXPECT_EQ(matches("[\\]", "a\\b"), 1) << "a backslash in a set is a member";
  EXPECT_EQ(matches("\\n", "n"), 1) << "an escaped letter is that letter";
  EXPECT_EQ(matches("\xE9t\xE9", "caf\xE9t\xE9"), 1);
}

TEST(PatternMatcher, RecordsTheLastRepetitionOfAGroup) {
  PatternHandle pattern = compilePattern("(a)*");
  const char* text = "aa";
  ASSERT_EQ(matchPattern(pattern.get(), text), 1);
  EXPECT_EQ(pattern->groupStart[0], text);
  EXPECT_EQ(pattern->groupEnd[0], text + 2);
  EXPECT_EQ(pattern->groupStart[1], text + 1);
  EXPECT_EQ(pattern->groupEnd[1], text + 2);

  PatternHandle two = compilePattern("(x)|(b+)");
  const char* bees = "abbc";
  ASSERT_EQ(matchPattern(two.get(), bees), 1);
  EXPECT_EQ(two->groupStart[1], nullptr);
  EXPECT_EQ(two->groupStart[2], bees + 1);
  EXPECT_EQ(two->groupEnd[2], bees + 3);
}

TEST(PatternMatcher, RejectsByTheRequiredLiteralFirst) {
  PatternHandle pattern = compilePattern(".*foo");
  EXPECT_EQ(matchPattern(pattern.get(), "barfo"), 0);
  EXPECT_EQ(matchPattern(pattern.get(), "barfoo"), 1);
}

TEST(PatternMatcher, ReportsBrokenInput) {
  CaptureStderr();
  EXPECT_EQ(matchPattern(nullptr, "abc"), 0);
  PatternHandle pattern = compilePattern("abc");
  EXPECT_EQ(matchPattern(pattern.get(), nullptr), 0);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: NULL parameter\neregexp: NULL parameter\n");

  pattern->program()[0] = 0;
  CaptureStderr();
  EXPECT_EQ(matchPattern(pattern.get(), "abc"), 0);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: corrupted program\n");

  PatternHandle other = compilePattern("a|b");
  other->program()[4] = 50;  // the first branch's body gets an unknown opcode
  CaptureStderr();
  EXPECT_EQ(matchPattern(other.get(), "a"), 0);
  EXPECT_NE(GetCapturedStderr().find("eregexp: memory corruption\n"), std::string::npos);
}

TEST(PatternMatcher, GivesUpPastTheNestingLimit) {
  const std::string text(3 * patternNestingLimit, 'a');
  PatternHandle pattern = compilePattern("^(a|b)*$");
  CaptureStderr();
  EXPECT_EQ(matchPattern(pattern.get(), text.c_str()), 0);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: recursion too deep\n");
  EXPECT_EQ(matchPattern(pattern.get(), "abba"), 1) << "shallow texts still match";
}

// Nested repetitions let each "b" be taken by any of several optional
// items, so a failing attempt has exponentially many ways to try.
TEST(PatternMatcher, GivesUpPastTheStepLimit) {
  const std::string text = std::string(80, 'b') + "xc";
  PatternHandle pattern = compilePattern("(b?b?b?b?b?b?b?b?b)*c$");
  CaptureStderr();
  EXPECT_EQ(matchPattern(pattern.get(), text.c_str()), 0);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: too much backtracking\n");
  EXPECT_EQ(matchPattern(pattern.get(), "bbbbbbbbbbbc"), 1) << "a match found early is found";
  EXPECT_EQ(matchPattern(pattern.get(), "bbbxbc"), 1) << "short texts still match";
}

// The limit counts attempts per start position: a lowered one gives up on a
// text that the program's own limit lets through.
TEST(PatternMatcher, StepLimitCanBeLowered) {
  const std::string text = std::string(6, 'b') + "xc";
  PatternHandle pattern = compilePattern("(b?b?b?b?b?b?b?b?b)*c$");
  CaptureStderr();
  EXPECT_EQ(matchPattern(pattern.get(), text.c_str()), 1);
  EXPECT_EQ(GetCapturedStderr(), "");
  CaptureStderr();
  EXPECT_EQ(matchPattern(pattern.get(), text.c_str(), 50), 0);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: too much backtracking\n");
}

}  // namespace
}  // namespace catpack
