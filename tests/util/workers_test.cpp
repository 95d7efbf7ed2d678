#include "util/workers.h"

#ifndef _WIN32
#include <signal.h>
#endif

#include <atomic>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "util/console.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

TEST(HelperThreads, RunTheirWorkOnOtherThreadsAndAreJoined) {
  for (unsigned count : {0u, 1u, 4u}) {
    std::atomic<unsigned> ran{0};
    std::atomic<unsigned> elsewhere{0};
    const std::thread::id self = std::this_thread::get_id();
    {
      HelperThreads helpers(count, [&] {
        if (std::this_thread::get_id() != self) ++elsewhere;
        ++ran;
      });
    }
    EXPECT_EQ(ran.load(), count);
    EXPECT_EQ(elsewhere.load(), count);
  }
}

// Windows delivers its console events on a thread of their own: there is
// no signal mask to look at.
#ifndef _WIN32
TEST(HelperThreads, NeverReceiveInterruptions) {
  std::atomic<int> blocked{0};
  {
    HelperThreads helpers(2, [&] {
      sigset_t current;
      pthread_sigmask(SIG_BLOCK, nullptr, &current);
      if (sigismember(&current, SIGINT) == 1 && sigismember(&current, SIGTERM) == 1 &&
          sigismember(&current, SIGHUP) == 1) {
        ++blocked;
      }
    });
  }
  EXPECT_EQ(blocked.load(), 2);
  sigset_t own;
  pthread_sigmask(SIG_BLOCK, nullptr, &own);
  EXPECT_EQ(sigismember(&own, SIGINT), 0) << "the starting thread takes them as before";
}
#endif

TEST(HelperThreads, OnePerCoreBeyondTheFirst) {
  const unsigned cores = std::thread::hardware_concurrency();
  EXPECT_EQ(helperThreadCount(), cores > 1 ? cores - 1 : 0);
}

TEST(MessageCapture, KeepsErrorsOfItsOwnThreadUntilPrinted) {
  std::string kept;
  std::string other;
  CaptureStderr();
  {
    const MessageCapture capture(kept);
    printErr("[Load] Failed to open file %s\n", "a");
    std::thread([&] {
      // Another thread is not captured by this one's capture.
      const MessageCapture own(other);
      printErr("%d\n", 7);
    }).join();
    {
      const MessageCapture inner(other);
      printErr("inner\n");
    }
    printErr("%s", "second\n");
  }
  printErr("direct\n");
  printCapturedErr(kept);
  EXPECT_EQ(GetCapturedStderr(), "direct\n[Load] Failed to open file a\nsecond\n");
  EXPECT_EQ(kept, "[Load] Failed to open file a\nsecond\n");
  EXPECT_EQ(other, "7\ninner\n");
}

}  // namespace
}  // namespace catpack
