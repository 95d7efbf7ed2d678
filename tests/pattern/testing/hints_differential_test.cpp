// The matcher with hints against the plain matcher: on random patterns and
// texts both give the same answer, the same group slots after a match and
// the same messages.
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "pattern/match_hints.h"
#include "pattern/pattern_compiler.h"
#include "pattern/pattern_matcher.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

const std::string alphabet = "abcx./\xE9";

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : random_(seed) {}

  std::string pattern() {
    std::string result = alternation(0);
    if (chance(3)) result = "^" + result;
    if (chance(2)) result += chance(2) ? "\\.xml$" : "$";
    return result;
  }

  std::string text() {
    std::string text;
    for (int length = pick(12); length > 0; --length) {
      text += chance(8) ? std::string(".xml") : std::string(1, alphabet[pick(static_cast<int>(alphabet.size()))]);
    }
    return text;
  }

 private:
  int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
  bool chance(int oneIn) { return pick(oneIn) == 0; }

  std::string alternation(int depth) {
    std::string result = branch(depth);
    while (depth < 3 && chance(5)) result += "|" + branch(depth);
    return result;
  }

  std::string branch(int depth) {
    std::string result;
    for (int pieces = pick(5); pieces > 0; --pieces) result += piece(depth);
    return result;
  }

  std::string piece(int depth) {
    std::string atom = this->atom(depth);
    if (chance(3)) atom += "*+?"[pick(3)];
    return atom;
  }

  std::string atom(int depth) {
    switch (pick(depth < 3 ? 8 : 7)) {
      case 0:
      case 1:
        return std::string(1, alphabet[pick(static_cast<int>(alphabet.size()))]);
      case 2:
        return "abc"[pick(3)] + std::string("x");
      case 3:
        return "\\" + std::string(1, ".$^/"[pick(4)]);
      case 4:
        return ".";
      case 5:
        return chance(2) ? "[a-c.]" : "[^/x]";
      case 6:
        return chance(4) ? "^" : "$";
      default:
        return "(" + alternation(depth + 1) + ")";
    }
  }

  std::mt19937 random_;
};

// The answer, the group slots (as offsets) after a match, and the messages.
std::string outcome(CompiledPattern* pattern, const std::string& text, bool withHints,
                    const MatchHints& hints) {
  CaptureStderr();
  const int matched = withHints ? matchPatternWithHints(pattern, hints, text.c_str())
                                : matchPattern(pattern, text.c_str());
  std::string result = std::to_string(matched) + " [" + GetCapturedStderr() + "]";
  if (matched == 1) {
    for (int slot = 0; slot < patternSlots; ++slot) {
      const char* start = pattern->groupStart[slot];
      const char* end = pattern->groupEnd[slot];
      result += " " + (start ? std::to_string(start - text.c_str()) : std::string("-")) + ":" +
                (end ? std::to_string(end - text.c_str()) : std::string("-"));
    }
  }
  return result;
}

TEST(HintsDifferential, AgreesWithThePlainMatcherOnRandomPatterns) {
  Generator generator(20261209);
  int compared = 0;
  for (int round = 0; round < 1500; ++round) {
    const std::string text = generator.pattern();
    CaptureStderr();
    PatternHandle pattern = compilePattern(text.c_str());
    GetCapturedStderr();
    if (!pattern) continue;
    const MatchHints hints = analysePattern(pattern.get());
    EXPECT_TRUE(hints.usable) << text;
    for (int sample = 0; sample < 20; ++sample) {
      const std::string subject = generator.text();
      ASSERT_EQ(outcome(pattern.get(), subject, true, hints),
                outcome(pattern.get(), subject, false, hints))
          << "pattern " << text << " text " << subject;
      ++compared;
    }
  }
  EXPECT_GT(compared, 10000);
}

TEST(HintsDifferential, DeepAttemptsFallBackToThePlainSearch) {
  // Long enough for an attempt to nest past the limit: the message must come
  // exactly as without hints.
  PatternHandle pattern = compilePattern("(a|b)*c$");
  const MatchHints hints = analysePattern(pattern.get());
  for (const std::size_t length : {10u, 1000u, 12000u}) {
    const std::string text = std::string(length, 'a') + "cx";
    const std::string plain = outcome(pattern.get(), text, false, hints);
    EXPECT_EQ(outcome(pattern.get(), text, true, hints), plain) << length;
    EXPECT_EQ(plain.find("recursion too deep") != std::string::npos, length == 12000u) << plain;
  }
  EXPECT_FALSE(hints.isQuietFor(12001));
  EXPECT_TRUE(hints.isQuietFor(10));
}

TEST(HintsDifferential, NullAndUnusableHintsReportLikeThePlainMatcher) {
  const MatchHints none = analysePattern(nullptr);
  EXPECT_FALSE(none.usable);
  EXPECT_EQ(outcome(nullptr, "abc", true, none), "0 [eregexp: NULL parameter\n]");
}

TEST(MatchHints, ReadWhatEveryMatchNeeds) {
  PatternHandle xml = compilePattern("\\.xml$");
  const MatchHints xmlHints = analysePattern(xml.get());
  EXPECT_EQ(xmlHints.tail.size(), 4u);
  EXPECT_TRUE(xmlHints.onlyTail);
  EXPECT_EQ(xmlHints.required, "xml");

  PatternHandle anchored = compilePattern("^dir00[0-4]/");
  const MatchHints anchoredHints = analysePattern(anchored.get());
  EXPECT_TRUE(anchoredHints.tail.empty());
  EXPECT_EQ(anchoredHints.required, "dir00");

  PatternHandle choice = compilePattern("(ab|cd)e");
  const MatchHints choiceHints = analysePattern(choice.get());
  ASSERT_TRUE(choiceHints.startsKnown);
  EXPECT_EQ(choiceHints.starts.count(), 2u);
  EXPECT_TRUE(choiceHints.starts.test('a') && choiceHints.starts.test('c'));
  EXPECT_EQ(choiceHints.required, "e");

  PatternHandle optional = compilePattern("x*");
  EXPECT_FALSE(analysePattern(optional.get()).startsKnown) << "it matches the empty text";

  PatternHandle repeatAtEnd = compilePattern("ab*$");
  const MatchHints repeatHints = analysePattern(repeatAtEnd.get());
  EXPECT_TRUE(repeatHints.tail.empty());
  EXPECT_FALSE(repeatHints.onlyTail);
}

}  // namespace
}  // namespace catpack
