// Flushing files and folders to the disk on POSIX.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

namespace {

// `flush` (fsync or fdatasync) of `file`, again when interrupted. A file
// system that cannot flush at all (EINVAL) counts as flushed: there is
// nothing more to wait for.
bool flushRetrying(int (*flush)(int), int file) {
  for (;;) {
    if (flush(file) == 0) return true;
    if (errno != EINTR) return errno == EINVAL;
  }
}

bool syncDescriptor(int file) { return flushRetrying(::fsync, file); }

// Flushes the names in the folder at `path`.
bool syncFolder(const std::string& path) {
  const int handle = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (handle < 0) return false;
  const bool flushed = syncDescriptor(handle);
  ::close(handle);
  return flushed;
}

#ifdef __linux__
// The file systems met in one flush, each written back once as a whole:
// one write-back of a file system takes all of its files and folders to the
// disk in one go, where flushing each on its own waits for the disk each
// time.
class FileSystemSyncs {
 public:
  // Whether the file system that holds the open `handle` was written back
  // without a failure (since `handle` was opened); written back now when
  // first met. False also when it cannot be told which one holds it.
  bool synced(int handle) {
    struct stat info {};
    if (::fstat(handle, &info) != 0) return false;
    for (const auto& [device, outcome] : met_) {
      if (device == info.st_dev) return outcome;
    }
    bool outcome = false;
    for (;;) {
      outcome = ::syncfs(handle) == 0;
      if (outcome || errno != EINTR) break;
    }
    met_.emplace_back(info.st_dev, outcome);
    return outcome;
  }

 private:
  std::vector<std::pair<dev_t, bool>> met_;
};
#endif

}  // namespace

bool flushFile(Descriptor file) { return syncDescriptor(file); }

bool flushFileBytes(Descriptor file) { return flushRetrying(::fdatasync, file); }

bool flushTogether(const Descriptor* files, std::size_t count, bool* flushed,
                   const std::vector<std::string>& folders) {
  bool foldersFlushed = true;
#ifdef __linux__
  // Where a file system reports a failure, each of its files and folders is
  // flushed on its own, so that only those that really failed count so.
  if (count + folders.size() > 2) {
    FileSystemSyncs syncs;
    for (std::size_t at = 0; at < count; ++at) {
      flushed[at] = syncs.synced(files[at]) || syncDescriptor(files[at]);
    }
    for (const std::string& folder : folders) {
      const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (handle < 0) {
        foldersFlushed = false;
        continue;
      }
      foldersFlushed = (syncs.synced(handle) || syncDescriptor(handle)) && foldersFlushed;
      ::close(handle);
    }
    return foldersFlushed;
  }
#endif
  for (std::size_t at = 0; at < count; ++at) flushed[at] = syncDescriptor(files[at]);
  for (const std::string& folder : folders) foldersFlushed = syncFolder(folder) && foldersFlushed;
  return foldersFlushed;
}

std::size_t openFileLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1024;
  return static_cast<std::size_t>(limit.rlim_cur);
}

bool flushFolders(const std::vector<std::string>& folders) {
  return flushTogether(nullptr, 0, nullptr, folders);
}

void startWriteBack(Descriptor file, std::uint64_t from, std::uint64_t to) {
#ifdef __linux__
  if (to > from) {
    ::sync_file_range(file, static_cast<off_t>(from), static_cast<off_t>(to - from),
                      SYNC_FILE_RANGE_WRITE);
  }
#else
  (void)file;
  (void)from;
  (void)to;
#endif
}

std::string folderHolding(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace catpack::platform
