// Compiles the text of a regular expression into a node program.
#pragma once

#include "pattern/compiled_pattern.h"

namespace catpack {

// Compiles the NUL-terminated `text`; null after an "eregexp: " message.
PatternHandle compilePattern(const char* text);

}  // namespace catpack
