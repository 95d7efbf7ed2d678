// Writer locks on Windows: a named mutex for each file, named after its
// full path, so that nothing is ever left on disk.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

namespace {

// The mutex name for `path`: a 64-bit FNV-1a hash of its full path,
// lower-cased as the file system compares names, so that every path gives
// a name of the same short length.
std::string mutexNameOf(const std::string& path) {
  char full[MAX_PATH];
  const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  const std::string name = length > 0 && length < sizeof full ? std::string(full, length) : path;
  std::uint64_t hash = 14695981039346656037ull;
  for (char byte : name) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
    hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ull;
  }
  char text[64];
  std::snprintf(text, sizeof text, "Local\\catpack-writer-%016llx", static_cast<unsigned long long>(hash));
  return text;
}

}  // namespace

class WriterLock {
 public:
  WriterLock() = default;
  ~WriterLock() {
    for (const HANDLE mutex : held_) {
      ::ReleaseMutex(mutex);
      ::CloseHandle(mutex);
    }
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // Opens the mutex named `name` and waits until this process owns it; a
  // mutex that the system cannot make leaves this file unlocked.
  bool take(const std::string& name) {
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) return true;
    const DWORD waited = ::WaitForSingleObject(mutex, INFINITE);
    // A writer that ended without letting go leaves the mutex abandoned:
    // it is then owned here all the same.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      ::CloseHandle(mutex);
      return false;
    }
    held_.push_back(mutex);
    return true;
  }

 private:
  std::vector<HANDLE> held_;
};

void WriterLockReleaser::operator()(WriterLock* lock) const { delete lock; }

WriterLockHandle lockForWriting(const std::vector<std::string>& paths) {
  std::vector<std::string> names;
  for (const std::string& path : paths) names.push_back(mutexNameOf(path));
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  WriterLockHandle lock(new WriterLock);
  for (const std::string& name : names) {
    if (!lock->take(name)) return nullptr;
  }
  return lock;
}

}  // namespace catpack::platform
