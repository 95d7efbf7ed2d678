// Writer locks on POSIX: an exclusive advisory lock on each folder that holds
// one of the files, so that no lock file is ever needed.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

class WriterLock {
 public:
  WriterLock() = default;
  ~WriterLock() {
    for (const int folder : folders_) ::close(folder);  // closing drops the lock
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  // Opens the folder holding `path` once; false when it cannot be opened.
  bool addFolderOf(const std::string& path);
  // Locks every folder in the order of their identities.
  void lockAll();

 private:
  std::vector<int> folders_;
  std::vector<std::pair<dev_t, ino_t>> identities_;
};

bool WriterLock::addFolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat info {};
  if (::fstat(descriptor, &info) != 0) {
    ::close(descriptor);
    return false;
  }
  // A second lock on the same folder would wait for this process itself.
  const std::pair<dev_t, ino_t> identity(info.st_dev, info.st_ino);
  if (std::find(identities_.begin(), identities_.end(), identity) != identities_.end()) {
    ::close(descriptor);
    return true;
  }
  auto at = std::upper_bound(identities_.begin(), identities_.end(), identity);
  folders_.insert(folders_.begin() + (at - identities_.begin()), descriptor);
  identities_.insert(at, identity);
  return true;
}

void WriterLock::lockAll() {
  for (const int folder : folders_) {
    // A file system that cannot lock (some network ones) is written
    // unlocked, as before locks existed, rather than not at all.
    while (::flock(folder, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
}

void WriterLockReleaser::operator()(WriterLock* lock) const { delete lock; }

WriterLockHandle lockForWriting(const std::vector<std::string>& paths) {
  WriterLockHandle lock(new WriterLock);
  for (const std::string& path : paths) {
    if (!lock->addFolderOf(path)) return nullptr;
  }
  lock->lockAll();
  return lock;
}

}  // namespace catpack::platform
