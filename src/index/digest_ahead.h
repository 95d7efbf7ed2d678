// Content digests worked out ahead of a walk that needs them one after
// another: helper threads compute them, the biggest first so that every
// core stays busy to the end, while the walking thread takes each one when
// it reaches it. What the walk sees (digests and messages, and their order)
// is what it would see computing every digest itself, on the spot.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "index/entry_view.h"
#include "util/workers.h"

namespace catpack {

class DigestsAhead {
 public:
  // Prepares the digests of `entries`, in the order the walk will take
  // them, with `helpers` threads beside the walking one. Entries whose
  // digest is stated cost nothing and need not be listed. With no helpers,
  // or no entries, nothing is prepared and take() computes on the spot. The
  // entries' texts must stay where they are while this object lives.
  DigestsAhead(std::vector<EntryView> entries, unsigned helpers);
  ~DigestsAhead();
  DigestsAhead(const DigestsAhead&) = delete;
  DigestsAhead& operator=(const DigestsAhead&) = delete;

  // entryDigest of `entry`, the next entry of the walk: its stated digest,
  // or the one prepared for it; the messages of working it out are printed
  // now.
  std::string take(const EntryView& entry);

 private:
  // One digest to work out, and what came of it.
  struct Job {
    EntryView entry;
    enum class State { waiting, running, done } state = State::waiting;
    std::string digest;
    std::string messages;
  };

  // Helper threads: compute waiting jobs, biggest first, until none is left.
  void helpOut();
  // The next waiting job in biggest-first order, marked running; null when
  // none is left. The lock must be held.
  Job* claimBiggest();
  // Computes `job` with the lock released, messages kept.
  void compute(Job& job, std::unique_lock<std::mutex>& lock);

  std::vector<Job> jobs_;             // in walk order
  std::vector<std::size_t> bySize_;   // indices into jobs_, biggest first
  std::size_t nextBiggest_ = 0;       // position in bySize_ of the next one to look at
  std::size_t nextTaken_ = 0;         // the job the walk takes next
  bool stopping_ = false;             // the walk is over: helpers start nothing more
  std::mutex mutex_;
  std::condition_variable finished_;  // a job became done
  std::unique_ptr<HelperThreads> helpers_;
};

}  // namespace catpack
