// A compiled regular expression: a small header directly followed by its
// node program, in one allocation. A node is an opcode byte, a 16-bit next
// link (high byte first; counted backwards for LoopBack) and an operand.
#pragma once

#include <cstdint>
#include <memory>

namespace catpack {

// The first byte of every program.
inline constexpr unsigned char patternMagic = 0x9C;

// Node opcodes.
enum PatternOp : unsigned char {
  End = 0,          // the match succeeds
  AtStart = 1,      // empty, only at the start of the text
  AtEnd = 2,        // empty, only at the end of the text
  AnyChar = 3,      // any one byte
  InSet = 4,        // one byte of the operand string
  NotInSet = 5,     // one byte not in the operand string
  Alternative = 6,  // one alternative of a choice; the operand is its body
  LoopBack = 7,     // empty; its next link points backwards
  Literal = 8,      // exactly the operand string
  Empty = 9,        // the empty string
  RepeatStar = 10,  // the single-byte operand node 0 or more times
  RepeatPlus = 11,  // the single-byte operand node 1 or more times
  GroupOpen = 20,   // 21 to 29: start of group 1 to 9
  GroupClose = 30,  // 31 to 39: end of group 1 to 9
};

inline constexpr int patternSlots = 10;  // slot 0 is the whole match

struct CompiledPattern {
  const char* groupStart[patternSlots];  // filled by each match attempt
  const char* groupEnd[patternSlots];
  unsigned char firstChar;  // the byte every match begins with, or 0
  unsigned char anchored;   // 1 when a match can only begin at the text's start
  const char* mustContain;  // a literal every match contains (inside the program), or null
  std::int32_t mustLength;
  std::int32_t programSize;  // bytes of program, magic byte included

  unsigned char* program() { return reinterpret_cast<unsigned char*>(this + 1); }
  const unsigned char* program() const { return reinterpret_cast<const unsigned char*>(this + 1); }
};

// Releases the one block that holds a pattern and its program.
struct PatternDeleter {
  void operator()(CompiledPattern* pattern) const;
};
using PatternHandle = std::unique_ptr<CompiledPattern, PatternDeleter>;

// The node that `node`'s next link designates, or null when the link is 0.
inline const unsigned char* nextNode(const unsigned char* node) {
  const int distance = (node[1] << 8) | node[2];
  if (distance == 0) return nullptr;
  return node[0] == LoopBack ? node - distance : node + distance;
}

// The operand directly behind a node's three header bytes.
inline const unsigned char* nodeOperand(const unsigned char* node) { return node + 3; }

// Prints "eregexp: <message>" on standard error.
void reportPatternError(const char* message);

}  // namespace catpack
