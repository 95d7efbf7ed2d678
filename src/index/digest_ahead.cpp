#include "index/digest_ahead.h"

#include <algorithm>

#include "index/entry_content.h"
#include "util/console.h"

namespace catpack {

DigestsAhead::DigestsAhead(std::vector<EntryView> entries, unsigned helpers) {
  if (helpers == 0 || entries.empty()) return;
  jobs_.resize(entries.size());
  bySize_.resize(entries.size());
  for (std::size_t at = 0; at < entries.size(); ++at) {
    jobs_[at].entry = std::move(entries[at]);
    bySize_[at] = at;
  }
  // Ties keep the walk's order, so that the first digests arrive first.
  std::stable_sort(bySize_.begin(), bySize_.end(), [&](std::size_t left, std::size_t right) {
    return jobs_[left].entry.size > jobs_[right].entry.size;
  });
  helpers_ = std::make_unique<HelperThreads>(helpers, [this] { helpOut(); });
}

DigestsAhead::~DigestsAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  if (helpers_) helpers_->join();
}

DigestsAhead::Job* DigestsAhead::claimBiggest() {
  while (nextBiggest_ < bySize_.size()) {
    Job& job = jobs_[bySize_[nextBiggest_++]];
    if (job.state == Job::State::waiting) {
      job.state = Job::State::running;
      return &job;
    }
  }
  return nullptr;
}

void DigestsAhead::compute(Job& job, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  std::string messages;
  std::string digest;
  {
    const MessageCapture capture(messages);
    digest = entryDigest(job.entry);
  }
  lock.lock();
  job.digest = std::move(digest);
  job.messages = std::move(messages);
  job.state = Job::State::done;
  finished_.notify_all();
}

void DigestsAhead::helpOut() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    Job* job = claimBiggest();
    if (job == nullptr) return;
    compute(*job, lock);
  }
}

std::string DigestsAhead::take(const EntryView& entry) {
  if (!entry.digest.empty() || jobs_.empty()) return entryDigest(entry);
  std::unique_lock<std::mutex> lock(mutex_);
  Job& wanted = jobs_[nextTaken_++];
  if (wanted.state == Job::State::waiting) {
    wanted.state = Job::State::running;
    compute(wanted, lock);
  }
  while (wanted.state != Job::State::done) {
    // Rather than wait idle for a helper, work on what is still waiting.
    Job* other = claimBiggest();
    if (other != nullptr) {
      compute(*other, lock);
    } else {
      finished_.wait(lock);
    }
  }
  std::string digest = std::move(wanted.digest);
  const std::string messages = std::move(wanted.messages);
  lock.unlock();
  printCapturedErr(messages);
  return digest;
}

}  // namespace catpack
