// A status line for the long phases of a run (reading a folder or catalog,
// the diff's digests, writing a catalog or folder), shown on standard error
// only when standard error is a terminal: once a phase has run for about a
// second it tells the phase, the files and bytes done (of the totals where
// they are known) and the rate, rewritten in place a few times a second.
// It is erased before any message is printed and when the phase ends, so the
// screen then holds exactly the messages; when standard error is not a
// terminal nothing of it is ever written.
#pragma once

#include <cstdint>

namespace catpack {

// A total that is not known when the phase begins.
inline constexpr std::uint64_t unknownTotal = 0;

// One phase of the run, from construction to destruction; one at a time.
class ProgressPhase {
 public:
  // Begins the phase `name` (a short text that lives as long as the phase),
  // which will have done `totalFiles` files and `totalBytes` bytes at its
  // end, or `unknownTotal`.
  ProgressPhase(const char* name, std::uint64_t totalFiles, std::uint64_t totalBytes);
  // Ends the phase and erases its status line.
  ~ProgressPhase();
  ProgressPhase(const ProgressPhase&) = delete;
  ProgressPhase& operator=(const ProgressPhase&) = delete;
};

namespace progress_detail {
// Whether a phase runs with standard error on a terminal.
extern bool counting;
// advance() while counting.
void count(std::uint64_t files, std::uint64_t bytes);
}  // namespace progress_detail

// Counts `files` more files and `bytes` more bytes done in the current
// phase; nothing happens outside a phase or off a terminal. Cheap enough to
// call per file or per piece of bytes: it looks at the clock only every so
// many of them, and costs a single test when nothing is shown.
inline void advance(std::uint64_t files, std::uint64_t bytes) {
  if (progress_detail::counting) progress_detail::count(files, bytes);
}

// Erases the status line if one is shown, leaving the cursor at the start
// of its line; the phase goes on and shows it again later.
void eraseStatusLine();

}  // namespace catpack
