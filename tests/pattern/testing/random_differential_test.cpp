// Random patterns of this engine's grammar, each also written as an
// equivalent ECMAScript pattern, answer the same yes or no as std::regex on
// random texts.
#include <random>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pattern/pattern_compiler.h"
#include "pattern/pattern_matcher.h"

namespace catpack {
namespace {

// Texts are drawn from these bytes; patterns use them as literals too.
const std::string alphabet = "abc-]\\^n.";

// A pattern written both ways.
struct Spelling {
  std::string ours;
  std::string ecma;
};

class PatternGenerator {
 public:
  explicit PatternGenerator(std::uint32_t seed) : random_(seed) {}

  Spelling pattern() {
    groups_ = 0;
    Spelling result = alternation(0);
    // Anchors only at the ends: inside a repetition they cannot be repeated.
    if (chance(4)) result = {"^" + result.ours, "^" + result.ecma};
    if (chance(4)) result = {result.ours + "$", result.ecma + "$"};
    return result;
  }

  std::string text() {
    std::string text;
    const int length = pick(9);
    for (int i = 0; i < length; ++i) text += alphabet[pick(static_cast<int>(alphabet.size()))];
    return text;
  }

 private:
  int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
  bool chance(int oneIn) { return pick(oneIn) == 0; }

  Spelling alternation(int depth) {
    Spelling result = branch(depth);
    while (depth < 3 && chance(4)) {
      const Spelling next = branch(depth);
      result = {result.ours + "|" + next.ours, result.ecma + "|" + next.ecma};
    }
    return result;
  }

  Spelling branch(int depth) {
    Spelling result;
    const int pieces = pick(4);
    for (int i = 0; i < pieces; ++i) {
      const Spelling next = piece(depth);
      result.ours += next.ours;
      result.ecma += next.ecma;
    }
    return result;
  }

  Spelling piece(int depth) {
    Spelling atom = this->atom(depth);
    static const char repeats[] = "*+?";
    if (!chance(3)) return atom;
    const char op = repeats[pick(3)];
    return {atom.ours + op, atom.ecma + op};
  }

  // One atom: a single byte, an escaped byte, ".", a set, or a group.
  Spelling atom(int depth) {
    switch (pick(depth < 3 ? 6 : 5)) {
      case 0:
      case 1: {
        const char letter = "abc"[pick(3)];
        return {std::string(1, letter), std::string(1, letter)};
      }
      case 2: {
        // This engine takes any escaped byte literally ("\n" is the letter n).
        const char escaped = ".\\n^-]*"[pick(7)];
        const std::string literal =
            escaped == 'n' ? std::string(1, escaped) : std::string("\\") + escaped;
        return {std::string("\\") + escaped, literal};
      }
      case 3:
        return {".", "."};  // the texts hold no line breaks
      case 4:
        return set();
      default: {
        if (groups_ >= 9) return {"a", "a"};
        ++groups_;
        const Spelling inner = alternation(depth + 1);
        return {"(" + inner.ours + ")", "(" + inner.ecma + ")"};
      }
    }
  }

  // A bracket set over the alphabet, spelt with this engine's rules: "]"
  // first and "-" last are members, a backslash is a member, and "^" is
  // kept from the first place. ECMAScript gets every member escaped.
  Spelling set() {
    std::string members;
    for (const char member : alphabet) {
      if (chance(3)) members += member;
    }
    const bool range = chance(3);
    const bool hasCaret = members.find('^') != std::string::npos;
    if (members.find_first_not_of("^-") == std::string::npos && !range) members += 'a';
    std::string ours = chance(3) ? "[^" : "[";
    std::string ecma = ours;
    if (members.find(']') != std::string::npos) ours += ']';
    for (const char member : members) {
      if (member != ']' && member != '-' && member != '^') ours += member;
    }
    if (range) {
      ours += "a-c";
      members += "abc";
    }
    if (hasCaret) ours += '^';
    if (members.find('-') != std::string::npos) ours += '-';
    ours += ']';
    for (const char member : members) {
      ecma += (std::isalpha(static_cast<unsigned char>(member)) ? "" : "\\") + std::string(1, member);
    }
    ecma += ']';
    return {ours, ecma};
  }

  std::mt19937 random_;
  int groups_ = 0;
};

TEST(PatternDifferential, AgreesWithStdRegexOnRandomPatterns) {
  PatternGenerator generator(20261208);
  int compared = 0;
  int disagreements = 0;
  for (int round = 0; round < 4000; ++round) {
    const Spelling spelling = generator.pattern();
    ::testing::internal::CaptureStderr();
    PatternHandle ours = compilePattern(spelling.ours.c_str());
    const std::string messages = ::testing::internal::GetCapturedStderr();
    if (!ours) continue;  // outside the grammar (an empty operand of * or +, and the like)
    ASSERT_EQ(messages, "");
    std::regex reference;
    try {
      reference = std::regex(spelling.ecma, std::regex::ECMAScript);
    } catch (const std::regex_error& error) {
      FAIL() << "no ECMAScript form for " << spelling.ours << " as " << spelling.ecma << ": "
             << error.what();
    }
    for (int sample = 0; sample < 25; ++sample) {
      const std::string text = generator.text();
      const bool expected = std::regex_search(text, reference);
      const bool actual = matchPattern(ours.get(), text.c_str()) == 1;
      ++compared;
      if (expected != actual && ++disagreements <= 20) {
        ADD_FAILURE() << "pattern " << spelling.ours << " (ECMAScript " << spelling.ecma
                      << ") on \"" << text << "\": ours " << actual << ", std::regex "
                      << expected;
      }
    }
  }
  EXPECT_EQ(disagreements, 0);
  EXPECT_GT(compared, 40000);
}

}  // namespace
}  // namespace catpack
