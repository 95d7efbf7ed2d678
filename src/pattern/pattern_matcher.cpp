#include "pattern/pattern_matcher.h"

#include <cstring>
#include <string_view>

namespace catpack {

namespace {

// State of one matchPattern call.
class Match {
 public:
  Match(CompiledPattern& pattern, const char* text, long stepLimit)
      : pattern_(pattern), textStart_(text), stepLimit_(stepLimit) {}

  int tryAt(const char* position);
  bool abandoned() const { return abandoned_; }

 private:
  int matchNodes(const unsigned char* node);
  int matchNodesNested(const unsigned char* node);
  std::size_t countRepeats(const unsigned char* node);

  CompiledPattern& pattern_;
  const char* textStart_;
  const long stepLimit_;
  const char* input_ = nullptr;
  int depth_ = 0;
  long steps_ = 0;  // nested attempts of the current start position
  bool abandoned_ = false;
};

bool inMembers(const unsigned char* members, char byte) {
  return std::strchr(reinterpret_cast<const char*>(members), byte) != nullptr;
}

int Match::tryAt(const char* position) {
  input_ = position;
  steps_ = 0;
  for (int slot = 0; slot < patternSlots; ++slot) {
    pattern_.groupStart[slot] = nullptr;
    pattern_.groupEnd[slot] = nullptr;
  }
  if (matchNodes(pattern_.program() + 1) == 0) return 0;
  pattern_.groupStart[0] = position;
  pattern_.groupEnd[0] = input_;
  return 1;
}

// One level deeper; gives up the whole match past the nesting limit or
// the step limit.
int Match::matchNodesNested(const unsigned char* node) {
  if (abandoned_) return 0;
  if (depth_ >= patternNestingLimit) {
    reportPatternError("recursion too deep");
    abandoned_ = true;
    return 0;
  }
  if (++steps_ > stepLimit_) {
    reportPatternError("too much backtracking");
    abandoned_ = true;
    return 0;
  }
  ++depth_;
  const int result = matchNodes(node);
  --depth_;
  return result;
}

int Match::matchNodes(const unsigned char* scan) {
  if (scan == nullptr) {
    reportPatternError("corrupted pointers");
    return 0;
  }
  while (scan != nullptr) {
    const unsigned char* next = nextNode(scan);
    const unsigned char op = scan[0];
    switch (op) {
      case End:
        return 1;
      case AtStart:
        if (input_ != textStart_) return 0;
        break;
      case AtEnd:
        if (*input_ != '\0') return 0;
        break;
      case AnyChar:
        if (*input_ == '\0') return 0;
        ++input_;
        break;
      case Literal: {
        const char* literal = reinterpret_cast<const char*>(nodeOperand(scan));
        if (*literal != *input_) return 0;
        const std::size_t length = std::strlen(literal);
        if (length > 1 && std::strncmp(literal, input_, length) != 0) return 0;
        input_ += length;
        break;
      }
      case InSet:
        if (*input_ == '\0' || !inMembers(nodeOperand(scan), *input_)) return 0;
        ++input_;
        break;
      case NotInSet:
        if (*input_ == '\0' || inMembers(nodeOperand(scan), *input_)) return 0;
        ++input_;
        break;
      case Empty:
      case LoopBack:
        break;
      case Alternative:
        if (next == nullptr || next[0] != Alternative) {
          next = nodeOperand(scan);  // no choice here
          break;
        }
        do {
          const char* saved = input_;
          if (matchNodesNested(nodeOperand(scan))) return 1;
          if (abandoned_) return 0;
          input_ = saved;
          scan = nextNode(scan);
        } while (scan != nullptr && scan[0] == Alternative);
        return 0;
      case RepeatStar:
      case RepeatPlus: {
        const char lookAhead =
            next != nullptr && next[0] == Literal ? static_cast<char>(*nodeOperand(next)) : '\0';
        const std::size_t minimum = op == RepeatStar ? 0 : 1;
        const char* saved = input_;
        std::size_t count = countRepeats(nodeOperand(scan));
        while (count >= minimum) {
          if (lookAhead == '\0' || *input_ == lookAhead) {
            if (matchNodesNested(next)) return 1;
            if (abandoned_) return 0;
          }
          if (count == 0) break;
          --count;
          input_ = saved + count;
        }
        return 0;
      }
      default:
        if (op > GroupOpen && op < GroupOpen + patternSlots) {
          const char* saved = input_;
          if (!matchNodesNested(next)) return 0;
          const int slot = op - GroupOpen;
          if (pattern_.groupStart[slot] == nullptr) pattern_.groupStart[slot] = saved;
          return 1;
        }
        if (op > GroupClose && op < GroupClose + patternSlots) {
          const char* saved = input_;
          if (!matchNodesNested(next)) return 0;
          const int slot = op - GroupClose;
          if (pattern_.groupEnd[slot] == nullptr) pattern_.groupEnd[slot] = saved;
          return 1;
        }
        reportPatternError("memory corruption");
        return 0;
    }
    scan = next;
  }
  reportPatternError("corrupted pointers");
  return 0;
}

std::size_t Match::countRepeats(const unsigned char* node) {
  const char* scan = input_;
  const unsigned char* operand = nodeOperand(node);
  switch (node[0]) {
    case AnyChar:
      scan += std::strlen(scan);
      break;
    case Literal:
      while (*scan == static_cast<char>(*operand)) ++scan;
      break;
    case InSet:
      while (*scan != '\0' && inMembers(operand, *scan)) ++scan;
      break;
    case NotInSet:
      while (*scan != '\0' && !inMembers(operand, *scan)) ++scan;
      break;
    default:
      reportPatternError("internal foulup");
      break;
  }
  const std::size_t count = static_cast<std::size_t>(scan - input_);
  input_ = scan;
  return count;
}

// True when the pattern's required literal occurs in `text`.
bool containsRequiredLiteral(const CompiledPattern& pattern, const char* text) {
  const char* literal = pattern.mustContain;
  for (const char* scan = std::strchr(text, *literal); scan != nullptr;
       scan = std::strchr(scan + 1, *literal)) {
    if (std::strncmp(scan, literal, static_cast<std::size_t>(pattern.mustLength)) == 0) {
      return true;
    }
  }
  return false;
}

// The checks every match begins with: null arguments, a corrupted program,
// the pattern's own required literal. Gives false when they settle the
// answer (0).
bool passesEntryChecks(CompiledPattern* pattern, const char* text) {
  if (pattern == nullptr || text == nullptr) {
    reportPatternError("NULL parameter");
    return false;
  }
  if (pattern->program()[0] != patternMagic) {
    reportPatternError("corrupted program");
    return false;
  }
  return pattern->mustContain == nullptr || containsRequiredLiteral(*pattern, text);
}

// Tries every start position the pattern's header allows, leftmost first.
int searchFromHeader(CompiledPattern& pattern, const char* text, long stepLimit) {
  Match match(pattern, text, stepLimit);
  if (pattern.anchored) return match.tryAt(text);
  if (pattern.firstChar != 0) {
    const char first = static_cast<char>(pattern.firstChar);
    for (const char* scan = std::strchr(text, first); scan != nullptr;
         scan = std::strchr(scan + 1, first)) {
      if (match.tryAt(scan)) return 1;
      if (match.abandoned()) return 0;
    }
    return 0;
  }
  const char* scan = text;
  do {
    if (match.tryAt(scan)) return 1;
    if (match.abandoned()) return 0;
  } while (*scan++ != '\0');
  return 0;
}

// Whether the `length` bytes of `text` end with bytes of the tail's sets.
bool endsWithTail(const MatchHints& hints, const char* text, std::size_t length) {
  if (length < hints.tail.size()) return false;
  const char* at = text + length - hints.tail.size();
  for (const ByteSet& bytes : hints.tail) {
    if (!bytes.test(static_cast<unsigned char>(*at++))) return false;
  }
  return true;
}

}  // namespace

int matchPattern(CompiledPattern* pattern, const char* text, long stepLimit) {
  if (!passesEntryChecks(pattern, text)) return 0;
  return searchFromHeader(*pattern, text, stepLimit);
}

int matchPatternWithHints(CompiledPattern* pattern, const MatchHints& hints, const char* text) {
  return matchPatternWithHints(pattern, hints, text, text == nullptr ? 0 : std::strlen(text));
}

int matchPatternWithHints(CompiledPattern* pattern, const MatchHints& hints, const char* text,
                          std::size_t length) {
  if (!passesEntryChecks(pattern, text)) return 0;
  // Every skipped attempt would have failed; when an attempt could go
  // deep enough to print a message, none is skipped.
  if (!hints.isQuietFor(length)) return searchFromHeader(*pattern, text, patternStepLimit);
  if (!hints.tail.empty() && !endsWithTail(hints, text, length)) return 0;
  const std::string_view whole(text, length);
  if (!hints.required.empty() && whole.find(hints.required) == std::string_view::npos) return 0;

  Match match(*pattern, text, patternStepLimit);
  if (pattern->anchored) return match.tryAt(text);
  if (hints.onlyTail) return match.tryAt(text + length - hints.tail.size());
  if (pattern->firstChar != 0) {
    const char first = static_cast<char>(pattern->firstChar);
    for (const char* scan = std::strchr(text, first); scan != nullptr;
         scan = std::strchr(scan + 1, first)) {
      if (match.tryAt(scan)) return 1;
    }
    return 0;
  }
  if (hints.startsKnown) {
    for (std::size_t at = 0; at <= length; ++at) {
      if (hints.starts.test(static_cast<unsigned char>(text[at])) && match.tryAt(text + at)) return 1;
    }
    return 0;
  }
  return searchFromHeader(*pattern, text, patternStepLimit);
}

}  // namespace catpack
