// Runs a compiled pattern against a text by recursive backtracking.
#pragma once

#include "pattern/compiled_pattern.h"
#include "pattern/match_hints.h"

namespace catpack {

// How deep one match attempt may nest before it gives up.
inline constexpr int patternNestingLimit = 10000;

// 1 when `pattern` matches somewhere in the NUL-terminated `text`, else 0
// (also after an error message). On 1 the pattern's group slots bound the
// match and the groups that took part in it.
int matchPattern(CompiledPattern* pattern, const char* text);

// matchPattern, with the same result, group slots (after a match) and
// messages, passing over texts and start positions that `hints` (made for
// this pattern by analysePattern) rule out.
int matchPatternWithHints(CompiledPattern* pattern, const MatchHints& hints, const char* text);

}  // namespace catpack
