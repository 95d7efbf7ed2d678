// What a fuzz target does when one of its properties fails: says which one
// and aborts, so that the fuzzer keeps the input that broke it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace catpack::fuzzing {

// Aborts the process with `what` on standard error unless `holds`.
inline void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

}  // namespace catpack::fuzzing
