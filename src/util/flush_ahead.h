// Flushes a file that is still being written, on a thread of its own, each
// time it is asked to: the flush that completes the file then finds little
// left to wait for, and the disk writes while the writer goes on. Whether
// every such flush succeeded is kept, since a file's failed flush need not
// be reported again by a later one.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/platform.h"
#include "util/workers.h"

namespace catpack {

class FlushAhead {
 public:
  // `file` stays open until finish() has returned.
  explicit FlushAhead(platform::Descriptor file);
  // Ends as finish() does, its outcome dropped.
  ~FlushAhead();
  FlushAhead(const FlushAhead&) = delete;
  FlushAhead& operator=(const FlushAhead&) = delete;

  // Asks for a flush of everything written so far, and returns at once; a
  // flush asked for while one runs follows it.
  void ask();

  // Waits for every flush asked for and ends the thread; false when any of
  // them failed.
  bool finish();

 private:
  // What the thread runs: a flush each time one is asked for.
  void work();

  platform::Descriptor file_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool asked_ = false;
  bool stopping_ = false;
  bool failed_ = false;
  std::optional<HelperThreads> thread_;
};

}  // namespace catpack
