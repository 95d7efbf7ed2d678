// Cleanup on SIGINT, SIGTERM and SIGHUP. The registrations live in a fixed
// table that the handler reads with nothing but async-signal-safe calls;
// registering and forgetting are plain atomic stores, with no system call.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/creation_guard.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

namespace {

enum SlotState : int { slotFree, slotFilling, slotRemoveFile, slotCutBack };

struct CleanupEntry {
  std::atomic<int> state{slotFree};
  char path[PATH_MAX];
  int file = -1;
  std::uint64_t size = 0;
};

constexpr int slotCount = 64;
CleanupEntry entries[slotCount];

constexpr int handledSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<std::size_t> statusColumns{0};  // of a status line on standard error

// New files being created and registered on threads other than the one
// the cleanup runs on; the cleanup waits for them, and no creation begins
// once it has started.
std::atomic<int> creationsUnderway{0};
std::atomic<bool> cleanupStarted{false};

// Whether the calling thread never receives interruptions.
thread_local bool keepsInterruptsAway = false;

// Writes a carriage return, `columns` blanks and a carriage return to
// standard error, with nothing but write().
void blankStatusLine(std::size_t columns) {
  static const char blanks[] = "                                                                ";
  (void)!::write(STDERR_FILENO, "\r", 1);
  while (columns > 0) {
    const std::size_t part = columns < sizeof blanks - 1 ? columns : sizeof blanks - 1;
    if (::write(STDERR_FILENO, blanks, part) <= 0) break;
    columns -= part;
  }
  (void)!::write(STDERR_FILENO, "\r", 1);
}

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads slots lock-free");

// Takes a free slot and marks it as being filled; noCleanup when all are taken.
CleanupSlot takeSlot() {
  for (int slot = 0; slot < slotCount; ++slot) {
    int expected = slotFree;
    if (entries[slot].state.compare_exchange_strong(expected, slotFilling)) return slot;
  }
  return noCleanup;
}

// Blanks the status line, removes the registered files and cuts the
// registered appends back, with async-signal-safe calls only.
void doRegisteredCleanup() {
  cleanupStarted.store(true);
  while (creationsUnderway.load() != 0) {
  }
  const std::size_t columns = statusColumns.load();
  if (columns != 0) blankStatusLine(columns);
  for (CleanupEntry& entry : entries) {
    const int state = entry.state.load(std::memory_order_acquire);
    if (state == slotRemoveFile) ::unlink(entry.path);
    if (state == slotCutBack) (void)!::ftruncate(entry.file, static_cast<off_t>(entry.size));
  }
}

void cleanUpAndEnd(int signalNumber) {
  doRegisteredCleanup();
  // The handler was installed to run once; the signal now takes its usual effect.
  sigset_t pending;
  sigemptyset(&pending);
  sigaddset(&pending, signalNumber);
  ::raise(signalNumber);
  ::sigprocmask(SIG_UNBLOCK, &pending, nullptr);
}

sigset_t handledSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signalNumber : handledSignals) sigaddset(&set, signalNumber);
  return set;
}

}  // namespace

void installInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = cleanUpAndEnd;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = handledSet();
  for (const int signalNumber : handledSignals) {
    struct sigaction previous {};
    // A signal the caller's shell ignores (a background job's SIGINT) stays ignored.
    if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signalNumber, &action, nullptr);
  }
}

CleanupSlot removeOnInterrupt(const std::string& path) {
  if (path.size() >= PATH_MAX) return noCleanup;
  const CleanupSlot slot = takeSlot();
  if (slot == noCleanup) return noCleanup;
  std::memcpy(entries[slot].path, path.c_str(), path.size() + 1);
  entries[slot].state.store(slotRemoveFile, std::memory_order_release);
  return slot;
}

CreationGuard::CreationGuard() {
  // The calling thread takes no interruption meanwhile, and the cleanup,
  // running on another one, waits until the guard goes away.
  if (!keepsInterruptsAway) {
    const sigset_t set = handledSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &previous_);
    restore_ = true;
  }
  creationsUnderway.fetch_add(1);
  mayCreate_ = !cleanupStarted.load();
}

CreationGuard::~CreationGuard() {
  creationsUnderway.fetch_sub(1);
  if (restore_) ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

Descriptor createNewFile(const std::string& path, CleanupSlot& cleanup) {
  cleanup = noCleanup;
  const CreationGuard guard;
  if (!guard.mayCreate()) return noDescriptor;
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file < 0) return noDescriptor;
  cleanup = removeOnInterrupt(path);
  return file;
}

CleanupSlot cutBackOnInterrupt(Descriptor file, std::uint64_t size) {
  const CleanupSlot slot = takeSlot();
  if (slot == noCleanup) return noCleanup;
  entries[slot].file = file;
  entries[slot].size = size;
  entries[slot].state.store(slotCutBack, std::memory_order_release);
  return slot;
}

void forgetOnInterrupt(CleanupSlot slot) {
  if (slot != noCleanup) entries[slot].state.store(slotFree, std::memory_order_release);
}

void cleanUpAndExit(const char* message, int exitCode) {
  // An interruption now would start the same cleanup a second time.
  const sigset_t set = handledSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  doRegisteredCleanup();
  (void)!::write(STDERR_FILENO, message, std::strlen(message));
  ::_exit(exitCode);
}

void blankOnInterrupt(std::size_t columns) { statusColumns.store(columns); }

InterruptDeferral::InterruptDeferral() {
  const sigset_t set = handledSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptDeferral::~InterruptDeferral() {
  const sigset_t set = handledSet();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void keepInterruptsFromThisThread() {
  const sigset_t set = handledSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  keepsInterruptsAway = true;
}

}  // namespace catpack::platform
