// The analysis walks the program the way the matcher does, without input:
// along next links, into the body of an Alternative that offers no choice,
// and over every alternative of a choice to the node where they join.
#include "pattern/match_hints.h"

#include <cstring>

#include "pattern/pattern_matcher.h"

namespace catpack {

namespace {

bool isOp(const unsigned char* node, unsigned char op) { return node != nullptr && node[0] == op; }

bool isGroupNode(unsigned char op) {
  return (op > GroupOpen && op < GroupOpen + patternSlots) ||
         (op > GroupClose && op < GroupClose + patternSlots);
}

// Nodes that take no input and change nothing a match depends on.
bool isTransparent(unsigned char op) { return op == Empty || isGroupNode(op); }

// Bytes a single-byte node can take (never the end of the text).
ByteSet bytesOf(const unsigned char* node) {
  ByteSet bytes;
  const unsigned char* operand = nodeOperand(node);
  switch (node[0]) {
    case Literal:
      bytes.set(operand[0]);
      break;
    case AnyChar:
      bytes.set();
      bytes.reset(0);
      break;
    case InSet:
      for (const unsigned char* member = operand; *member != 0; ++member) bytes.set(*member);
      break;
    case NotInSet:
      bytes.set();
      bytes.reset(0);
      for (const unsigned char* member = operand; *member != 0; ++member) bytes.reset(*member);
      break;
    default:
      break;
  }
  return bytes;
}

bool isSingleByte(unsigned char op) {
  return op == AnyChar || op == InSet || op == NotInSet || op == Literal;
}

class Analysis {
 public:
  explicit Analysis(const CompiledPattern& pattern)
      : program_(pattern.program()), size_(static_cast<std::size_t>(pattern.programSize)) {}

  MatchHints run();

 private:
  bool inside(const unsigned char* node) const {
    return node != nullptr && node > program_ && node + 3 <= program_ + size_;
  }
  // Lists every node of the program in address order; false when the
  // program does not parse into whole nodes.
  bool listNodes();
  // Adds the bytes a match from `node` can begin with to starts_; true when
  // it can also reach End without taking any.
  bool firstBytes(const unsigned char* node);
  // The nodes every match passes, in order, up to End; a choice is listed
  // by its first alternative. False when the walk goes astray.
  bool mandatoryPath(std::vector<const unsigned char*>& path) const;
  void findTail(const std::vector<const unsigned char*>& path, MatchHints& hints) const;

  const unsigned char* program_;
  std::size_t size_;
  std::vector<const unsigned char*> nodes_;
  std::vector<signed char> firstState_;  // per byte of program: unknown, busy, taking, empty-able
  ByteSet starts_;
  bool understood_ = true;
};

bool Analysis::listNodes() {
  std::size_t at = 1;
  while (at < size_) {
    if (at + 3 > size_) return false;
    const unsigned char op = program_[at];
    nodes_.push_back(program_ + at);
    at += 3;
    if (op == Literal || op == InSet || op == NotInSet) {
      const void* end = std::memchr(program_ + at, 0, size_ - at);
      if (end == nullptr) return false;
      at = static_cast<std::size_t>(static_cast<const unsigned char*>(end) - program_) + 1;
    } else if (!(op <= RepeatPlus || isGroupNode(op))) {
      return false;
    }
  }
  for (const unsigned char* node : nodes_) {
    const unsigned char* next = nextNode(node);
    if (next != nullptr && !inside(next)) return false;
  }
  return true;
}

bool Analysis::firstBytes(const unsigned char* node) {
  enum : signed char { unknown = 0, busy = 1, taking = 2, emptyable = 3 };
  if (!inside(node)) {
    understood_ = false;
    return false;
  }
  signed char& state = firstState_[static_cast<std::size_t>(node - program_)];
  if (state == busy) return false;  // a loop: what it adds is added where it began
  if (state != unknown) return state == emptyable;
  state = busy;
  const unsigned char* next = nextNode(node);
  bool empty = false;
  switch (node[0]) {
    case End:
      empty = true;
      break;
    case AtStart:
    case Empty:
    case LoopBack:
      empty = firstBytes(next);
      break;
    case AtEnd:
      starts_.set(0);
      break;
    case AnyChar:
    case InSet:
    case NotInSet:
    case Literal:
      starts_ |= bytesOf(node);
      break;
    case Alternative:
      if (!isOp(next, Alternative)) {
        empty = firstBytes(nodeOperand(node));
        break;
      }
      for (const unsigned char* branch = node; isOp(branch, Alternative); branch = nextNode(branch)) {
        if (firstBytes(nodeOperand(branch))) empty = true;
      }
      break;
    case RepeatStar:
    case RepeatPlus:
      if (!inside(nodeOperand(node)) || !isSingleByte(nodeOperand(node)[0])) {
        understood_ = false;
        break;
      }
      starts_ |= bytesOf(nodeOperand(node));
      if (node[0] == RepeatStar) empty = firstBytes(next);
      break;
    default:
      if (isGroupNode(node[0])) {
        empty = firstBytes(next);
      } else {
        understood_ = false;
      }
      break;
  }
  state = empty ? emptyable : taking;
  return empty;
}

bool Analysis::mandatoryPath(std::vector<const unsigned char*>& path) const {
  const unsigned char* node = program_ + 1;
  for (std::size_t steps = 0; steps <= nodes_.size(); ++steps) {
    if (!inside(node)) return false;
    if (node[0] == End) return true;
    const unsigned char* next = nextNode(node);
    if (node[0] == Alternative) {
      if (!isOp(next, Alternative)) {
        node = nodeOperand(node);
        continue;
      }
      path.push_back(node);  // a choice: the walk goes on where the alternatives join
      while (isOp(node, Alternative)) node = nextNode(node);
      continue;
    }
    if (node[0] == LoopBack) return false;
    path.push_back(node);
    node = next;
  }
  return false;
}

void Analysis::findTail(const std::vector<const unsigned char*>& path, MatchHints& hints) const {
  std::size_t at = path.size();
  bool atEnd = false;
  while (at > 0 && (path[at - 1][0] == AtEnd || isTransparent(path[at - 1][0]))) {
    atEnd = atEnd || path[at - 1][0] == AtEnd;
    --at;
  }
  if (!atEnd) return;
  std::vector<ByteSet> reversed;
  for (; at > 0; --at) {
    const unsigned char* node = path[at - 1];
    if (isTransparent(node[0])) continue;
    if (node[0] == Literal) {
      const unsigned char* literal = nodeOperand(node);
      for (std::size_t length = std::strlen(reinterpret_cast<const char*>(literal)); length > 0;
           --length) {
        reversed.emplace_back().set(literal[length - 1]);
      }
    } else if (isSingleByte(node[0])) {
      reversed.push_back(bytesOf(node));
    } else {
      break;
    }
  }
  hints.tail.assign(reversed.rbegin(), reversed.rend());
  hints.onlyTail = at == 0 && !hints.tail.empty();
}

MatchHints Analysis::run() {
  MatchHints hints;
  if (size_ < 2 || program_[0] != patternMagic || !listNodes()) return hints;
  for (const unsigned char* node : nodes_) {
    if (node[0] == Alternative || node[0] == RepeatStar || node[0] == RepeatPlus ||
        isGroupNode(node[0])) {
      ++hints.nestingNodes;
    }
  }
  firstState_.assign(size_, 0);
  const bool emptyable = firstBytes(program_ + 1);
  if (!understood_) return hints;
  hints.startsKnown = !emptyable;
  hints.starts = starts_;

  std::vector<const unsigned char*> path;
  if (mandatoryPath(path)) {
    for (const unsigned char* node : path) {
      if (node[0] != Literal) continue;
      const char* literal = reinterpret_cast<const char*>(nodeOperand(node));
      if (std::strlen(literal) > hints.required.size()) hints.required = literal;
    }
    findTail(path, hints);
  }
  hints.usable = true;
  return hints;
}

}  // namespace

bool MatchHints::isQuietFor(std::size_t length) const {
  // Without input an attempt passes every node at most once, and every
  // return to an earlier node takes at least one byte: an attempt nests at
  // most (bytes + 1) * nestingNodes levels deep.
  return usable && (length + 1) * nestingNodes < static_cast<std::size_t>(patternNestingLimit);
}

MatchHints analysePattern(const CompiledPattern* pattern) {
  if (pattern == nullptr) return MatchHints();
  return Analysis(*pattern).run();
}

}  // namespace catpack
