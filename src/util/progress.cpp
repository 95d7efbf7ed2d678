#include "util/progress.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "util/text.h"

namespace catpack {

namespace {

using Clock = std::chrono::steady_clock;

constexpr platform::Descriptor standardError = 2;
// The clock is looked at after this many files or bytes, whichever first.
constexpr std::uint64_t filesBetweenLooks = 256;
constexpr std::uint64_t bytesBetweenLooks = std::uint64_t{1} << 20;
// How long a phase runs unseen, and the least time between two drawings.
constexpr Clock::duration quietStart = std::chrono::seconds(1);
constexpr Clock::duration redrawInterval = std::chrono::milliseconds(250);
// Kept below the narrowest usual terminal, so that the line never wraps.
constexpr std::size_t widestLine = 79;

struct PhaseState {
  const char* name = "";
  std::uint64_t totalFiles = unknownTotal;
  std::uint64_t totalBytes = unknownTotal;
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  std::uint64_t filesSinceLook = 0;
  std::uint64_t bytesSinceLook = 0;
  Clock::time_point start;
  Clock::time_point lastDrawing;
  std::size_t shownLength = 0;  // characters of the status line on screen now
};

PhaseState state;

bool standardErrorIsTerminal() {
  static const bool terminal = platform::isTerminal(standardError);
  return terminal;
}

void writeToTerminal(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

// `bytes` in the largest binary unit that keeps a number of at least one.
std::string byteAmount(std::uint64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return formatText("%llu B", static_cast<unsigned long long>(bytes));
  double amount = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (amount >= 1024 && unit + 1 < std::size(units)) {
    amount /= 1024;
    ++unit;
  }
  return formatText("%.1f %s", amount, units[unit]);
}

// `done`, followed by " of " and `total` when the total is known.
std::string doneOfTotal(const std::string& done, std::uint64_t total,
                        const std::string& totalText) {
  return total == unknownTotal ? done : done + " of " + totalText;
}

std::string statusLine(double seconds) {
  const std::string files = doneOfTotal(
      formatText("%llu", static_cast<unsigned long long>(state.files)), state.totalFiles,
      formatText("%llu", static_cast<unsigned long long>(state.totalFiles)));
  const std::string bytes =
      doneOfTotal(byteAmount(state.bytes), state.totalBytes, byteAmount(state.totalBytes));
  const double bytesPerSecond = static_cast<double>(state.bytes) / seconds;
  const std::string rate =
      state.bytes != 0 ? byteAmount(static_cast<std::uint64_t>(bytesPerSecond)) + "/s"
                       : formatText("%.0f files/s", static_cast<double>(state.files) / seconds);
  std::string line =
      formatText("%s: %s files, %s, %s", state.name, files.c_str(), bytes.c_str(), rate.c_str());
  if (line.size() > widestLine) line.resize(widestLine);
  return line;
}

void drawStatusLine(Clock::time_point now) {
  const std::string line = statusLine(std::chrono::duration<double>(now - state.start).count());
  // Spaces cover what a longer earlier line left behind.
  const std::size_t cover = state.shownLength > line.size() ? state.shownLength - line.size() : 0;
  // Registered before it is drawn: an interruption at any moment blanks it.
  platform::blankOnInterrupt(line.size() + cover);
  writeToTerminal("\r" + line + std::string(cover, ' '));
  state.shownLength = line.size() + cover;
  state.lastDrawing = now;
}

void lookAtClock() {
  state.filesSinceLook = 0;
  state.bytesSinceLook = 0;
  const Clock::time_point now = Clock::now();
  if (now - state.start < quietStart || now - state.lastDrawing < redrawInterval) return;
  drawStatusLine(now);
}

}  // namespace

ProgressPhase::ProgressPhase(const char* name, std::uint64_t totalFiles, std::uint64_t totalBytes) {
  eraseStatusLine();
  state = PhaseState{};
  progress_detail::counting = standardErrorIsTerminal();
  if (!progress_detail::counting) return;
  state.name = name;
  state.totalFiles = totalFiles;
  state.totalBytes = totalBytes;
  state.start = Clock::now();
  state.lastDrawing = state.start - redrawInterval;
}

ProgressPhase::~ProgressPhase() {
  eraseStatusLine();
  progress_detail::counting = false;
}

namespace progress_detail {

bool counting = false;

void count(std::uint64_t files, std::uint64_t bytes) {
  state.files += files;
  state.bytes += bytes;
  state.filesSinceLook += files;
  state.bytesSinceLook += bytes;
  if (state.filesSinceLook >= filesBetweenLooks || state.bytesSinceLook >= bytesBetweenLooks) {
    lookAtClock();
  }
}

}  // namespace progress_detail

void eraseStatusLine() {
  if (state.shownLength == 0) return;
  // Built by appending: GCC 12 at -O3 takes `"\r" + std::string(...)` for an
  // overlapping copy (-Wrestrict, a false positive inside std::string).
  std::string blank;
  blank.reserve(state.shownLength + 2);
  blank += '\r';
  blank.append(state.shownLength, ' ');
  blank += '\r';
  writeToTerminal(blank);
  state.shownLength = 0;
  platform::blankOnInterrupt(0);
}

}  // namespace catpack
