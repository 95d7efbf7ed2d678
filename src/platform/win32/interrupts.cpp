// Cleanup on the console's Ctrl-C, Ctrl-Break and close events. The system
// calls the handler on a thread of its own, so the registrations are kept
// under a lock that the handler takes too, and that a deferral holds.
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

namespace {

struct CleanupEntry {
  bool used = false;
  std::string path;  // a file to remove, when not empty
  Descriptor file = noDescriptor;  // otherwise a file to cut back
  std::uint64_t size = 0;
};

// The exit code of a process that Ctrl-C ends (STATUS_CONTROL_C_EXIT).
constexpr UINT interruptedExitCode = 0xC000013Au;

std::recursive_mutex& registryLock() {
  static std::recursive_mutex lock;
  return lock;
}

std::vector<CleanupEntry>& entries() {
  static std::vector<CleanupEntry> table;
  return table;
}

CleanupSlot store(CleanupEntry entry) {
  const std::lock_guard<std::recursive_mutex> hold(registryLock());
  std::vector<CleanupEntry>& table = entries();
  entry.used = true;
  for (std::size_t slot = 0; slot < table.size(); ++slot) {
    if (!table[slot].used) {
      table[slot] = std::move(entry);
      return static_cast<CleanupSlot>(slot);
    }
  }
  table.push_back(std::move(entry));
  return static_cast<CleanupSlot>(table.size() - 1);
}

std::atomic<std::size_t> statusColumns{0};  // of a status line on standard error

// Blanks the status line, removes the registered files and cuts the
// registered appends back. Waits for a deferral to end; the lock is never
// given back, as the process ends next.
void doRegisteredCleanup() {
  registryLock().lock();
  if (const std::size_t columns = statusColumns.load(); columns != 0) {
    const std::string blank = "\r" + std::string(columns, ' ') + "\r";
    ::_write(2, blank.data(), static_cast<unsigned>(blank.size()));
  }
  for (const CleanupEntry& entry : entries()) {
    if (!entry.used) continue;
    if (!entry.path.empty()) {
      ::DeleteFileA(entry.path.c_str());
    } else {
      truncateFile(entry.file, entry.size);
    }
  }
}

BOOL WINAPI cleanUpAndEnd(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  doRegisteredCleanup();
  ::ExitProcess(interruptedExitCode);
}

}  // namespace

void cleanUpAndExit(const char* message, int exitCode) {
  doRegisteredCleanup();
  ::_write(2, message, static_cast<unsigned>(std::strlen(message)));
  ::ExitProcess(static_cast<UINT>(exitCode));
}

void blankOnInterrupt(std::size_t columns) { statusColumns.store(columns); }

void installInterruptCleanup() { ::SetConsoleCtrlHandler(cleanUpAndEnd, TRUE); }

CleanupSlot removeOnInterrupt(const std::string& path) {
  CleanupEntry entry;
  entry.path = path;
  return store(std::move(entry));
}

CleanupSlot cutBackOnInterrupt(Descriptor file, std::uint64_t size) {
  CleanupEntry entry;
  entry.file = file;
  entry.size = size;
  return store(std::move(entry));
}

void forgetOnInterrupt(CleanupSlot slot) {
  if (slot == noCleanup) return;
  const std::lock_guard<std::recursive_mutex> hold(registryLock());
  entries()[static_cast<std::size_t>(slot)] = CleanupEntry{};
}

InterruptDeferral::InterruptDeferral() { registryLock().lock(); }

InterruptDeferral::~InterruptDeferral() { registryLock().unlock(); }

void keepInterruptsFromThisThread() {
  // Console events never arrive on a thread of the program's own: the system
  // runs the handler on a thread it starts for the event, so a helper thread
  // has nothing to hold back.
}

}  // namespace catpack::platform
