#include "pattern/pattern_compiler.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using Bytes = std::vector<unsigned char>;

Bytes programOf(const char* text) {
  PatternHandle pattern = compilePattern(text);
  if (!pattern) return {};
  return Bytes(pattern->program(), pattern->program() + pattern->programSize);
}

// The message compiling `text` prints, and whether it failed.
std::string errorOf(const char* text) {
  CaptureStderr();
  PatternHandle pattern = compilePattern(text);
  const std::string message = GetCapturedStderr();
  EXPECT_EQ(pattern == nullptr, !message.empty()) << text;
  return message;
}

TEST(PatternCompiler, EmitsTheNodeProgram) {
  // magic, Alternative -> End, Empty -> End, End
  EXPECT_EQ(programOf(""), (Bytes{0x9C, 6, 0, 6, 9, 0, 3, 0, 0, 0}));
  // "ab" then RepeatStar over "c": a literal run leaves its last byte to the repetition.
  EXPECT_EQ(programOf("abc*"), (Bytes{0x9C, 6, 0, 17, 8, 0, 6, 'a', 'b', 0, 10, 0, 8, 8, 0, 0,
                                      'c', 0, 0, 0, 0}));
  // Three one-byte literals in sequence.
  EXPECT_EQ(programOf("a\\.b"), (Bytes{0x9C, 6, 0, 18, 8, 0, 5, 'a', 0, 8, 0, 5, '.', 0, 8, 0, 5,
                                       'b', 0, 0, 0, 0}));
  // Bracket sets list their members; ranges are spelt out.
  EXPECT_EQ(programOf("[a-c]"), (Bytes{0x9C, 6, 0, 10, 4, 0, 7, 'a', 'b', 'c', 0, 0, 0, 0}));
  EXPECT_EQ(programOf("[]a]"), (Bytes{0x9C, 6, 0, 9, 4, 0, 6, ']', 'a', 0, 0, 0, 0}));
  EXPECT_EQ(programOf("[a-]"), (Bytes{0x9C, 6, 0, 9, 4, 0, 6, 'a', '-', 0, 0, 0, 0}));
  EXPECT_EQ(programOf("[^-]"), (Bytes{0x9C, 6, 0, 8, 5, 0, 5, '-', 0, 0, 0, 0}));
  EXPECT_EQ(programOf("[a-a]"), (Bytes{0x9C, 6, 0, 8, 4, 0, 5, 'a', 0, 0, 0, 0}));
}

TEST(PatternCompiler, LinksLoopsBackwards) {
  // (a)* : Alternative(GroupOpen a GroupClose LoopBack) | Empty
  const Bytes program = programOf("(a)*");
  ASSERT_FALSE(program.empty());
  std::size_t loopBack = 0;
  for (std::size_t at = 1; at + 2 < program.size(); ++at) {
    if (program[at] == LoopBack) loopBack = at;
  }
  ASSERT_NE(loopBack, 0u);
  const unsigned char* node = program.data() + loopBack;
  EXPECT_EQ(nextNode(node), program.data() + 4) << "the loop goes back to the choice";
}

TEST(PatternCompiler, WorksOutTheShortcuts) {
  PatternHandle anchored = compilePattern("^abc");
  EXPECT_EQ(anchored->anchored, 1);
  EXPECT_EQ(anchored->firstChar, 0);
  PatternHandle literal = compilePattern("abc");
  EXPECT_EQ(literal->firstChar, 'a');
  EXPECT_EQ(literal->mustContain, nullptr);
  PatternHandle choice = compilePattern("a|b");
  EXPECT_EQ(choice->firstChar, 0);
  EXPECT_EQ(choice->anchored, 0);
  PatternHandle must = compilePattern(".*\\.xml");
  ASSERT_NE(must->mustContain, nullptr);
  EXPECT_EQ(std::string(must->mustContain), "xml");
  EXPECT_EQ(must->mustLength, 3);
  PatternHandle equal = compilePattern("x*ab.cd");
  EXPECT_EQ(std::string(equal->mustContain), "cd") << "a later literal of equal length wins";
}

TEST(PatternCompiler, ReportsEveryGrammarError) {
  const std::pair<const char*, const char*> cases[] = {
      {"a**", "nested *?+"},
      {"a*?", "nested *?+"},
      {"*a", "?+* follows nothing"},
      {"(*a)", "?+* follows nothing"},
      {"a|*b", "?+* follows nothing"},
      {"(a*)*", "*+ operand could be empty"},
      {"(^)+", "*+ operand could be empty"},
      {"$*", "*+ operand could be empty"},
      {"(ab", "unmatched ()"},
      {"ab)", "unmatched ()"},
      {"[ab", "unmatched []"},
      {"ab\\", "trailing \\"},
      {"[c-a]", "invalid [] range"},
      {"(((((((((())))))))))", "too many ()"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(errorOf(text), std::string("eregexp: ") + message + "\n") << text;
  }
  CaptureStderr();
  EXPECT_EQ(compilePattern(nullptr), nullptr);
  EXPECT_EQ(GetCapturedStderr(), "eregexp: NULL argument\n");
}

TEST(PatternCompiler, AcceptsWhatTheGrammarAllows) {
  for (const char* text : {"(a*)?", "$?", "((((((((()))))))))", "(a)(b)(c)(d)(e)(f)(g)(h)(i)",
                           "[]", "a|", "|", "()", "\\n", "[\\]"}) {
    if (std::string(text) == "[]") {
      EXPECT_EQ(errorOf(text), "eregexp: unmatched []\n");
      continue;
    }
    EXPECT_EQ(errorOf(text), "") << text;
  }
}

TEST(PatternCompiler, LimitsTheProgramSize) {
  const std::string fits(32755, 'x');
  PatternHandle largest = compilePattern(fits.c_str());
  ASSERT_NE(largest, nullptr);
  EXPECT_EQ(largest->programSize, 32766);
  const std::string tooBig(32756, 'x');
  EXPECT_EQ(errorOf(tooBig.c_str()), "eregexp: eregexp too big\n");
}

}  // namespace
}  // namespace catpack
