// Two passes over the pattern text: the sizing pass checks the grammar and
// counts the program's bytes, writing nothing; the emitting pass writes the
// same nodes into the allocated program.
#include "pattern/pattern_compiler.h"

#include <cstring>
#include <new>

#include "util/console.h"

namespace catpack {

void reportPatternError(const char* message) { printErr("eregexp: %s\n", message); }

void PatternDeleter::operator()(CompiledPattern* pattern) const {
  pattern->~CompiledPattern();
  ::operator delete(pattern);
}

namespace {

// Flags a parsed construct hands to the construct around it.
enum ParseFlags : int {
  nonEmpty = 1,         // always consumes at least one byte
  singleByte = 2,       // always matches exactly one byte
  leadsWithRepeat = 4,  // begins with a "*" or "?" repetition
};

constexpr std::int32_t sizeLimit = 0x7FFF;
constexpr int groupLimit = 10;
const char metaBytes[] = "^$.[()|?+*\\";

bool isRepeatByte(unsigned char byte) { return byte == '*' || byte == '+' || byte == '?'; }

// State of one compilation. In the sizing pass `out` is the dummy node and
// every emitting step only counts.
class Compilation {
 public:
  explicit Compilation(const char* text) : text_(reinterpret_cast<const unsigned char*>(text)) {}

  // Sizing pass; false after an error message.
  bool measure(std::int32_t& size) {
    restart(dummy_);
    programSize_ = 1;
    int flags = 0;
    if (parseAlternation(false, flags) == nullptr) return false;
    size = programSize_;
    return true;
  }

  // Emitting pass into `program`; gives the top level's flags.
  int emit(unsigned char* program) {
    restart(program);
    *out_++ = patternMagic;
    int flags = 0;
    parseAlternation(false, flags);
    return flags;
  }

 private:
  void restart(unsigned char* out) {
    parse_ = text_;
    nextGroup_ = 1;
    out_ = out;
  }
  bool sizing() const { return out_ == dummy_; }

  unsigned char* fail(const char* message) {
    reportPatternError(message);
    return nullptr;
  }

  unsigned char* emitNode(unsigned char op) {
    unsigned char* node = out_;
    if (sizing()) {
      programSize_ += 3;
      return node;
    }
    *out_++ = op;
    *out_++ = 0;
    *out_++ = 0;
    return node;
  }

  void emitByte(unsigned char byte) {
    if (sizing()) {
      ++programSize_;
      return;
    }
    *out_++ = byte;
  }

  // Puts a node with opcode `op` in front of the operand already at `at`.
  void insertNode(unsigned char op, unsigned char* at) {
    if (sizing()) {
      programSize_ += 3;
      return;
    }
    std::memmove(at + 3, at, static_cast<std::size_t>(out_ - at));
    out_ += 3;
    at[0] = op;
    at[1] = 0;
    at[2] = 0;
  }

  // Sets the next link of the last node of `node`'s chain to `target`.
  void linkTail(unsigned char* node, const unsigned char* target) {
    if (node == dummy_) return;
    unsigned char* last = node;
    while (const unsigned char* next = nextNode(last)) last = const_cast<unsigned char*>(next);
    const long distance = last[0] == LoopBack ? last - target : target - last;
    last[1] = static_cast<unsigned char>((distance >> 8) & 0xFF);
    last[2] = static_cast<unsigned char>(distance & 0xFF);
  }

  // linkTail on the body of an Alternative node; nothing for other nodes.
  void linkOperandTail(unsigned char* node, const unsigned char* target) {
    if (node == dummy_ || node[0] != Alternative) return;
    linkTail(node + 3, target);
  }

  unsigned char* parseAlternation(bool inGroup, int& flags);
  unsigned char* parseBranch(int& flags);
  unsigned char* parsePiece(int& flags);
  unsigned char* parseAtom(int& flags);
  unsigned char* parseBracketSet();
  unsigned char* parseLiteralRun(int& flags);

  const unsigned char* text_;
  const unsigned char* parse_ = nullptr;
  int nextGroup_ = 1;
  std::int32_t programSize_ = 0;
  unsigned char dummy_[3] = {0, 0, 0};
  unsigned char* out_ = nullptr;
};

unsigned char* Compilation::parseAlternation(bool inGroup, int& flags) {
  flags = nonEmpty;
  int group = 0;
  unsigned char* result = nullptr;
  if (inGroup) {
    if (nextGroup_ >= groupLimit) return fail("too many ()");
    group = nextGroup_++;
    result = emitNode(static_cast<unsigned char>(GroupOpen + group));
  }

  int branchFlags = 0;
  unsigned char* branch = parseBranch(branchFlags);
  if (branch == nullptr) return nullptr;
  if (result != nullptr) {
    linkTail(result, branch);
  } else {
    result = branch;
  }
  if (!(branchFlags & nonEmpty)) flags &= ~nonEmpty;
  flags |= branchFlags & leadsWithRepeat;

  while (*parse_ == '|') {
    ++parse_;
    branch = parseBranch(branchFlags);
    if (branch == nullptr) return nullptr;
    linkTail(result, branch);
    if (!(branchFlags & nonEmpty)) flags &= ~nonEmpty;
    flags |= branchFlags & leadsWithRepeat;
  }

  unsigned char* closer =
      emitNode(inGroup ? static_cast<unsigned char>(GroupClose + group) : static_cast<unsigned char>(End));
  linkTail(result, closer);
  if (!sizing()) {
    for (unsigned char* node = result; node != nullptr;
         node = const_cast<unsigned char*>(nextNode(node))) {
      linkOperandTail(node, closer);
    }
  }

  if (inGroup) {
    if (*parse_++ != ')') return fail("unmatched ()");
  } else if (*parse_ != '\0') {
    return fail(*parse_ == ')' ? "unmatched ()" : "junk on end");
  }
  return result;
}

unsigned char* Compilation::parseBranch(int& flags) {
  flags = 0;
  unsigned char* result = emitNode(Alternative);
  unsigned char* previous = nullptr;
  while (*parse_ != '\0' && *parse_ != '|' && *parse_ != ')') {
    int pieceFlags = 0;
    unsigned char* piece = parsePiece(pieceFlags);
    if (piece == nullptr) return nullptr;
    flags |= pieceFlags & nonEmpty;
    if (previous == nullptr) {
      flags |= pieceFlags & leadsWithRepeat;
    } else {
      linkTail(previous, piece);
    }
    previous = piece;
  }
  if (previous == nullptr) emitNode(Empty);
  return result;
}

unsigned char* Compilation::parsePiece(int& flags) {
  int atomFlags = 0;
  unsigned char* atom = parseAtom(atomFlags);
  if (atom == nullptr) return nullptr;
  const unsigned char op = *parse_;
  if (!isRepeatByte(op)) {
    flags = atomFlags;
    return atom;
  }
  if (!(atomFlags & nonEmpty) && op != '?') return fail("*+ operand could be empty");
  flags = op == '+' ? nonEmpty : leadsWithRepeat;

  if (op == '*' && (atomFlags & singleByte)) {
    insertNode(RepeatStar, atom);
  } else if (op == '*') {
    // A choice between the atom looping back to the choice, and Empty.
    insertNode(Alternative, atom);
    linkOperandTail(atom, emitNode(LoopBack));
    linkOperandTail(atom, atom);
    linkTail(atom, emitNode(Alternative));
    linkTail(atom, emitNode(Empty));
  } else if (op == '+' && (atomFlags & singleByte)) {
    insertNode(RepeatPlus, atom);
  } else if (op == '+') {
    // The atom, then a choice between looping back to it and Empty.
    unsigned char* choice = emitNode(Alternative);
    linkTail(atom, choice);
    linkTail(emitNode(LoopBack), atom);
    linkTail(choice, emitNode(Alternative));
    linkTail(atom, emitNode(Empty));
  } else {
    // A choice between the atom and Empty, both going on at the Empty node.
    insertNode(Alternative, atom);
    linkTail(atom, emitNode(Alternative));
    unsigned char* empty = emitNode(Empty);
    linkTail(atom, empty);
    linkOperandTail(atom, empty);
  }
  ++parse_;
  if (isRepeatByte(*parse_)) return fail("nested *?+");
  return atom;
}

unsigned char* Compilation::parseAtom(int& flags) {
  flags = 0;
  const unsigned char byte = *parse_++;
  switch (byte) {
    case '^':
      return emitNode(AtStart);
    case '$':
      return emitNode(AtEnd);
    case '.':
      flags = nonEmpty | singleByte;
      return emitNode(AnyChar);
    case '[':
      flags = nonEmpty | singleByte;
      return parseBracketSet();
    case '(': {
      int groupFlags = 0;
      unsigned char* group = parseAlternation(true, groupFlags);
      if (group == nullptr) return nullptr;
      flags = groupFlags & (nonEmpty | leadsWithRepeat);
      return group;
    }
    case '\0':
    case '|':
    case ')':
      return fail("internal urp");
    case '?':
    case '+':
    case '*':
      return fail("?+* follows nothing");
    case '\\': {
      if (*parse_ == '\0') return fail("trailing \\");
      unsigned char* node = emitNode(Literal);
      emitByte(*parse_++);
      emitByte(0);
      flags = nonEmpty | singleByte;
      return node;
    }
    default:
      --parse_;
      return parseLiteralRun(flags);
  }
}

unsigned char* Compilation::parseBracketSet() {
  unsigned char* node;
  if (*parse_ == '^') {
    node = emitNode(NotInSet);
    ++parse_;
  } else {
    node = emitNode(InSet);
  }
  if (*parse_ == ']' || *parse_ == '-') emitByte(*parse_++);
  while (*parse_ != '\0' && *parse_ != ']') {
    if (*parse_ != '-') {
      emitByte(*parse_++);
      continue;
    }
    ++parse_;
    if (*parse_ == ']' || *parse_ == '\0') {
      emitByte('-');
      continue;
    }
    const int low = parse_[-2];
    const int high = *parse_;
    if (low > high) return fail("invalid [] range");
    for (int member = low + 1; member <= high; ++member) {
      emitByte(static_cast<unsigned char>(member));
    }
    ++parse_;
  }
  emitByte(0);
  if (*parse_ != ']') return fail("unmatched []");
  ++parse_;
  return node;
}

unsigned char* Compilation::parseLiteralRun(int& flags) {
  std::size_t length = std::strcspn(reinterpret_cast<const char*>(parse_), metaBytes);
  if (length == 0) return fail("internal disaster");
  // A repetition binds to the run's last byte only.
  if (length > 1 && isRepeatByte(parse_[length])) --length;
  flags = nonEmpty | (length == 1 ? singleByte : 0);
  unsigned char* node = emitNode(Literal);
  for (; length > 0; --length) emitByte(*parse_++);
  emitByte(0);
  return node;
}

// Fills firstChar, anchored and mustContain from the finished program.
void workOutShortcuts(CompiledPattern& pattern, int topFlags) {
  pattern.firstChar = 0;
  pattern.anchored = 0;
  pattern.mustContain = nullptr;
  pattern.mustLength = 0;
  const unsigned char* first = pattern.program() + 1;
  const unsigned char* after = nextNode(first);
  if (after == nullptr || after[0] != End) return;
  const unsigned char* scan = nodeOperand(first);
  if (scan[0] == Literal) {
    pattern.firstChar = *nodeOperand(scan);
  } else if (scan[0] == AtStart) {
    pattern.anchored = 1;
  }
  if (!(topFlags & leadsWithRepeat)) return;
  const char* longest = nullptr;
  std::size_t longestLength = 0;
  for (; scan != nullptr; scan = nextNode(scan)) {
    if (scan[0] != Literal) continue;
    const char* literal = reinterpret_cast<const char*>(nodeOperand(scan));
    const std::size_t length = std::strlen(literal);
    if (length >= longestLength) {
      longest = literal;
      longestLength = length;
    }
  }
  pattern.mustContain = longest;
  pattern.mustLength = static_cast<std::int32_t>(longestLength);
}

}  // namespace

PatternHandle compilePattern(const char* text) {
  if (text == nullptr) {
    reportPatternError("NULL argument");
    return nullptr;
  }
  Compilation compilation(text);
  std::int32_t size = 0;
  if (!compilation.measure(size)) return nullptr;
  if (size >= sizeLimit) {
    reportPatternError("eregexp too big");
    return nullptr;
  }
  void* block = ::operator new(sizeof(CompiledPattern) + static_cast<std::size_t>(size),
                               std::nothrow);
  if (block == nullptr) return nullptr;
  PatternHandle pattern(new (block) CompiledPattern{});
  pattern->programSize = size;
  const int topFlags = compilation.emit(pattern->program());
  workOutShortcuts(*pattern, topFlags);
  return pattern;
}

}  // namespace catpack
