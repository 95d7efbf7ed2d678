// The phases of one run, in their fixed order: read, diff, filter, list,
// write.
#pragma once

#include "cli/run_settings.h"

namespace catpack {

// Runs every phase and ends the process with its exit code. The indexes are
// not taken apart first: the process is over, and with a million entries
// that would cost as much as building them.
[[noreturn]] void runSequence(const RunSettings& settings);

// Ends the process with `exitCode` once standard output is written out;
// when it could not be written, says so and ends with 1 instead of 0.
[[noreturn]] void endProcess(int exitCode);

}  // namespace catpack
