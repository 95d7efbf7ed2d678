#include "util/workers.h"

#include <system_error>

#include "platform/platform.h"
#include "util/memory_exhaustion.h"

namespace catpack {

unsigned helperThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? cores - 1 : 0;
}

HelperThreads::HelperThreads(unsigned count, const std::function<void()>& work) {
  // Started while this thread holds interruptions back, so that no thread
  // ever takes one between its start and its own blocking.
  const platform::InterruptDeferral deferral;
  threads_.reserve(count);
  for (unsigned started = 0; started < count; ++started) {
    try {
      threads_.emplace_back([work] {
        platform::keepInterruptsFromThisThread();
        work();
      });
    } catch (const std::system_error&) {
      // No room for another thread's stack.
      endForExhaustedMemory();
    }
  }
}

HelperThreads::~HelperThreads() { join(); }

void HelperThreads::join() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace catpack
