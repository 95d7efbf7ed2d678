// Runs a compiled pattern against a text by recursive backtracking.
#pragma once

#include "pattern/compiled_pattern.h"

namespace catpack {

// How deep one match attempt may nest before it gives up.
inline constexpr int patternNestingLimit = 10000;

// How many nested attempts one matchPattern call may make before it gives
// up: backtracking can take exponential time on patterns with nested
// repetitions, and this bounds it far above what a name needs.
inline constexpr long patternStepLimit = 1'000'000;

// 1 when `pattern` matches somewhere in the NUL-terminated `text`, else 0
// (also after an error message, which either limit above gives). On 1 the
// pattern's group slots bound the match and the groups that took part in it.
int matchPattern(CompiledPattern* pattern, const char* text);

}  // namespace catpack
