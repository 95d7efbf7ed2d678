#include "util/flush_ahead.h"

namespace catpack {

FlushAhead::FlushAhead(platform::Descriptor file) : file_(file) {
  thread_.emplace(1, [this] { work(); });
}

FlushAhead::~FlushAhead() { finish(); }

void FlushAhead::ask() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    asked_ = true;
  }
  changed_.notify_one();
}

bool FlushAhead::finish() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_one();
  thread_.reset();
  return !failed_;
}

void FlushAhead::work() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return asked_ || stopping_; });
    // A flush asked for is made even when the end has come: finish() waits
    // for it.
    if (!asked_) return;
    asked_ = false;
    hold.unlock();
    const bool flushed = platform::flushFileBytes(file_);
    hold.lock();
    failed_ = failed_ || !flushed;
  }
}

}  // namespace catpack
