// Reduces a result set to its difference from a base set.
#pragma once

#include "index/diff_rules.h"
#include "index/file_index.h"
#include "util/workers.h"

namespace catpack {

// Removes from `result` every file the base holds unchanged (same size, and
// what `check` asks for) and adds a deletion marker for every base file
// `result` lacks. `base` is not changed. Digests are worked out by `helpers`
// threads beside this one; the outcome and the messages do not depend on
// their number.
bool applyDiff(FileIndex& result, const FileIndex& base, unsigned helpers = helperThreadCount(),
               SameSizeCheck check = SameSizeCheck::timesFirst);

}  // namespace catpack
