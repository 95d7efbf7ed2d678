// A pattern and a text from one input, split at its first NUL byte (a whole
// input without one is matched against itself): the compiler, then the
// matcher with its nesting limit, and what a match promises.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "pattern/pattern_compiler.h"
#include "pattern/pattern_matcher.h"

namespace {

using catpack::fuzzing::check;

// Attempts per start position, far below the program's own step limit, so
// that inputs which backtrack heavily reach the giving-up path quickly
// instead of slowing the search: about this many over all start positions,
// and at least the minimum at each.
constexpr long fuzzStepBudget = 200'000;
constexpr long fuzzStepLimitAtLeast = 2'000;
// An anchored pattern is tried at one start position only: it gets enough
// attempts to nest down to the nesting limit.
constexpr long anchoredStepLimit = 5 * catpack::patternNestingLimit;

// Whether `at` lies within the text, its terminating NUL included.
bool within(const char* at, const std::vector<char>& text) {
  return at >= text.data() && at <= text.data() + text.size() - 1;
}

void checkMatch(const catpack::CompiledPattern& pattern, const std::vector<char>& text) {
  const char* start = pattern.groupStart[0];
  const char* end = pattern.groupEnd[0];
  check(within(start, text) && within(end, text) && start <= end, "the whole match lies in the text");
  check(!pattern.anchored || start == text.data(), "an anchored match begins at the text's start");
  check(pattern.firstChar == 0 || *start == static_cast<char>(pattern.firstChar),
        "a match begins with the pattern's first byte");
  if (pattern.mustLength > 0) {
    check(std::strstr(text.data(), pattern.mustContain) != nullptr, "the text holds the must-have literal");
  }
  for (int slot = 1; slot < catpack::patternSlots; ++slot) {
    const char* groupStart = pattern.groupStart[slot];
    const char* groupEnd = pattern.groupEnd[slot];
    check(groupStart == nullptr || within(groupStart, text), "a group starts in the text");
    check(groupEnd == nullptr || within(groupEnd, text), "a group ends in the text");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const char* nul = static_cast<const char*>(std::memchr(bytes, '\0', size));
  const std::string patternText(bytes, nul != nullptr ? nul : bytes + size);
  // The text ends at its own first NUL, as a C string does; its buffer holds
  // exactly that, so that reading past it is caught.
  const std::string rest = nul != nullptr ? std::string(nul + 1, bytes + size) : patternText;
  std::vector<char> text(rest.c_str(), rest.c_str() + std::strlen(rest.c_str()) + 1);

  catpack::PatternHandle pattern = catpack::compilePattern(patternText.c_str());
  if (!pattern) return 0;
  catpack::PatternHandle again = catpack::compilePattern(patternText.c_str());
  check(again && again->programSize == pattern->programSize &&
            std::memcmp(again->program(), pattern->program(), pattern->programSize) == 0,
        "compiling is repeatable");

  const long stepLimit = pattern->anchored ? anchoredStepLimit
                                           : std::max(fuzzStepLimitAtLeast,
                                                      fuzzStepBudget / static_cast<long>(text.size()));
  const int matched = catpack::matchPattern(pattern.get(), text.data(), stepLimit);
  check(matched == 0 || matched == 1, "a match gives 0 or 1");
  if (matched == 1) checkMatch(*pattern, text);
  return 0;
}
