// What the program must do differently on the platform the tests run on.
#pragma once

namespace catpack::testing {

// Whether folder output refuses names that hold a ":" (a drive or a stream
// name where ":" has a meaning in paths).
#ifdef _WIN32
inline constexpr bool colonRefusedInNames = true;
#else
inline constexpr bool colonRefusedInNames = false;
#endif

}  // namespace catpack::testing
