// The phases of one run, in their fixed order: read, diff, filter, list,
// write.
#pragma once

#include "cli/run_settings.h"

namespace catpack {

// Runs every phase; gives the process's exit code.
int runSequence(const RunSettings& settings);

}  // namespace catpack
