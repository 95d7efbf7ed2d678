// Creating a file and registering it for removal on interruption as one
// step, on any thread: the interruption cleanup, which runs on another
// thread, waits until the step is done, and no step begins once the
// cleanup has.
#pragma once

#include <signal.h>

namespace catpack::platform {

class CreationGuard {
 public:
  CreationGuard();
  ~CreationGuard();
  CreationGuard(const CreationGuard&) = delete;
  CreationGuard& operator=(const CreationGuard&) = delete;

  // False once the cleanup has begun: nothing may be created then.
  bool mayCreate() const { return mayCreate_; }

 private:
  sigset_t previous_;
  bool restore_ = false;  // interruptions were blocked for the step
  bool mayCreate_ = false;
};

}  // namespace catpack::platform
