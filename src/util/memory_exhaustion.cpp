#include "util/memory_exhaustion.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <thread>

#include "platform/platform.h"

namespace catpack {

namespace {

constexpr int exhaustedMemoryExitCode = 1;

}  // namespace

void endRunWhenMemoryRunsOut() { std::set_new_handler(endForExhaustedMemory); }

void endForExhaustedMemory() {
  // Threads that run out together leave the ending to the first of them.
  static std::atomic<bool> ending{false};
  if (ending.exchange(true)) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  // Nothing here allocates: what standard output holds goes out first.
  std::fflush(stdout);
  std::fflush(stderr);
  platform::cleanUpAndExit("Out of memory, aborting\n", exhaustedMemoryExitCode);
}

}  // namespace catpack
