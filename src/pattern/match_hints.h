// What a compiled program tells about where its matches can lie, worked out
// once per pattern, so that a match can pass over texts and start positions
// that cannot match without changing any result or message.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <vector>

#include "pattern/compiled_pattern.h"

namespace catpack {

// Bytes, with 0 standing for the end of the text.
using ByteSet = std::bitset<256>;

struct MatchHints {
  bool usable = false;  // the program was understood; nothing below holds otherwise
  // Nodes at which a match attempt may nest one level deeper (choices,
  // repetitions, groups); bounds how deep an attempt can go.
  std::size_t nestingNodes = 0;
  // Every match begins with one of these bytes (0: at the end of the text).
  bool startsKnown = false;
  ByteSet starts;
  // A literal that every match contains; empty when none is known.
  std::string required;
  // Every match ends at the end of the text with one byte of each of these
  // sets, in order.
  std::vector<ByteSet> tail;
  // The whole pattern is that tail: a match can only start where it begins.
  bool onlyTail = false;

  // True when no match of the pattern against a text of at most `length`
  // bytes can print a message, so that skipping attempts loses none.
  bool isQuietFor(std::size_t length) const;
};

// The hints for a program made by compilePattern; unusable ones for null.
MatchHints analysePattern(const CompiledPattern* pattern);

}  // namespace catpack
