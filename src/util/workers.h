// Helper threads for work that can run beside the thread that walks an index
// in key order: digests, mostly. The walking thread keeps every message and
// every decision; helpers only compute and hand back.
#pragma once

#include <functional>
#include <thread>
#include <vector>

namespace catpack {

// How many helper threads a run uses: one per core beyond the first, none on
// a machine with a single core (or when the count of cores is unknown).
unsigned helperThreadCount();

// A fixed set of helper threads, each running the same function until it
// returns; they are joined when the object goes away. Interruptions are
// never delivered to them, so that the interruption cleanup always runs on
// the walking thread.
class HelperThreads {
 public:
  // Starts `count` threads running `work` (none for 0).
  HelperThreads(unsigned count, const std::function<void()>& work);
  ~HelperThreads();
  HelperThreads(const HelperThreads&) = delete;
  HelperThreads& operator=(const HelperThreads&) = delete;

  // Waits until every thread's function has returned.
  void join();

 private:
  std::vector<std::thread> threads_;
};

}  // namespace catpack
