#include "folder/writing_threads.h"

#include <algorithm>

#include "platform/platform.h"
#include "util/console.h"

namespace catpack {

WritingThreads::WritingThreads(const std::string& outPath) : outPath_(outPath) {
  threads_.emplace(helperThreadCount() + 1, [this] { work(); });
}

WritingThreads::~WritingThreads() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  workGiven_.notify_all();
  threads_.reset();
}

std::size_t WritingThreads::mostFilesAtOnce() {
  // Enough to reach into the next folders, so that threads can work in
  // several at once; an eighth of the files the process may hold open.
  static const std::size_t files = std::clamp<std::size_t>(platform::openFileLimit() / 8, 16, 256);
  return files;
}

void WritingThreads::add(std::unique_ptr<FileJob> job, bool done) {
  unpublished_.push_back(Unpublished{std::move(job), done});
  if (unpublished_.size() >= filesPerRun) publish();
}

void WritingThreads::publish() {
  if (unpublished_.empty()) return;
  bool wake = false;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    for (Unpublished& given : unpublished_) {
      Slot& slot = jobs_.emplace_back();
      slot.job = std::move(given.job);
      slot.claimed = given.done;
      slot.done = given.done;
      if (given.done) continue;
      slot.folder = slot.job->folder;
      slot.folderTurn = folders_[slot.folder].given++;
      wake = true;
    }
    wake = wake && idleThreads_ > 0;
  }
  unpublished_.clear();
  if (wake) workGiven_.notify_all();
}

std::unique_ptr<FileJob> WritingThreads::takeDone(bool wait) {
  if (taken_.empty()) {
    if (wait || jobs_.empty()) publish();
    std::unique_lock<std::mutex> hold(lock_);
    if (jobs_.empty()) return nullptr;
    if (!jobs_.front().done) {
      if (!wait) return nullptr;
      takerWaits_ = true;
      runDone_.wait(hold, [this] { return jobs_.front().done; });
      takerWaits_ = false;
    }
    // Every file done at the front at once, so that the lock is taken
    // seldom.
    while (!jobs_.empty() && jobs_.front().done) {
      taken_.push_back(std::move(jobs_.front().job));
      jobs_.pop_front();
      if (firstUnclaimed_ > 0) --firstUnclaimed_;
    }
  }
  std::unique_ptr<FileJob> job = std::move(taken_.front());
  taken_.pop_front();
  return job;
}

bool WritingThreads::claimRun(std::vector<Slot*>& run) {
  while (firstUnclaimed_ < jobs_.size() && jobs_[firstUnclaimed_].claimed) ++firstUnclaimed_;
  // Elements of a deque stay where they are while others are added or
  // taken away at its ends, and these are taken away only once done.
  run.clear();
  std::size_t at = firstUnclaimed_;
  for (; at < jobs_.size(); ++at) {
    const Slot& slot = jobs_[at];
    if (!slot.claimed && folders_[slot.folder].opened == slot.folderTurn) break;
  }
  if (at == jobs_.size()) return false;
  // The folder's next targets, which no other thread can claim before
  // these are open.
  const std::uint64_t folder = jobs_[at].folder;
  for (; at < jobs_.size() && run.size() < filesPerRun; ++at) {
    Slot& slot = jobs_[at];
    if (slot.claimed || slot.folder != folder) continue;
    slot.claimed = true;
    run.push_back(&slot);
  }
  return true;
}

void WritingThreads::work() {
  std::vector<Slot*> run;
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    if (stopping_) return;
    if (!claimRun(run)) {
      ++idleThreads_;
      workGiven_.wait(hold);
      --idleThreads_;
      continue;
    }
    hold.unlock();
    for (Slot* slot : run) {
      const MessageCapture capture(slot->job->messages);
      openJobTarget(*slot->job);
    }
    hold.lock();
    // The folder's later targets may be opened now, by any thread.
    const auto turns = folders_.find(run.front()->folder);
    turns->second.opened += run.size();
    if (turns->second.opened == turns->second.given) folders_.erase(turns);
    if (idleThreads_ > 0) workGiven_.notify_one();
    hold.unlock();
    for (Slot* slot : run) {
      const MessageCapture capture(slot->job->messages);
      writeJobBytes(*slot->job, outPath_);
    }
    hold.lock();
    for (Slot* slot : run) slot->done = true;
    if (takerWaits_) runDone_.notify_one();
  }
}

}  // namespace catpack
