// Descriptor input and output, temporary files, links and renaming on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/creation_guard.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

Descriptor openForReading(const std::string& path) {
  std::int64_t length = 0;
  return openForReadingWithLength(path, length);
}

Descriptor openForReadingWithLength(const std::string& path, std::int64_t& length) {
  // Without O_NONBLOCK the open of a FIFO would wait for a writer forever.
  const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return noDescriptor;
  struct stat info {};
  if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(file);
    return noDescriptor;
  }
  length = info.st_size;
  return file;
}

std::int64_t seekFromStart(Descriptor file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return -1;
  return ::lseek(file, static_cast<off_t>(offset), SEEK_SET);
}

std::int64_t regularFileSize(Descriptor file) {
  struct stat info {};
  if (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return info.st_size;
}

std::int64_t readAt(Descriptor file, void* buffer, std::size_t count, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return -1;
  for (;;) {
    const ssize_t got = ::pread(file, buffer, count, static_cast<off_t>(offset));
    if (got >= 0) return got;
    if (errno != EINTR) return -1;
  }
}

bool writeAll(Descriptor file, const void* bytes, std::size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t done = ::write(file, next, count);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) return false;
    next += done;
    count -= static_cast<std::size_t>(done);
  }
  return true;
}

std::size_t copyBetween(Descriptor from, std::uint64_t offset, Descriptor to, std::size_t count) {
#ifdef __linux__
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
  auto at = static_cast<off_t>(offset);
  for (;;) {
    const ssize_t copied = ::copy_file_range(from, &at, to, nullptr, count, 0);
    if (copied >= 0) return static_cast<std::size_t>(copied);
    if (errno != EINTR) return 0;
  }
#else
  (void)from;
  (void)offset;
  (void)to;
  (void)count;
  return 0;
#endif
}

bool closeDescriptor(Descriptor file) { return ::close(file) == 0; }

std::string temporaryNameBeside(const std::string& targetPath) {
  static std::atomic<unsigned> counter{0};
  static const unsigned long processId = static_cast<unsigned long>(::getpid());
  char name[48];
  std::snprintf(name, sizeof name, ".cpk%lx.%x", processId, counter.fetch_add(1) + 1);
  const std::size_t slash = targetPath.rfind('/');
  return slash == std::string::npos ? std::string(name) : targetPath.substr(0, slash + 1) + name;
}

namespace {

// The permission bits a new file loses to the process's file mode creation
// mask, read once; all of them (so that permissions are always set
// explicitly) where the mask cannot be read without changing it.
mode_t creationMask() {
  static const mode_t mask = [] {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return static_cast<mode_t>(07777);
    char line[128];
    unsigned long value = 07777;
    while (std::fgets(line, sizeof line, status) != nullptr) {
      if (std::sscanf(line, "Umask: %lo", &value) == 1) break;
    }
    std::fclose(status);
    return static_cast<mode_t>(value & 07777);
  }();
  return mask;
}

}  // namespace

Descriptor createTemporaryBeside(const std::string& targetPath, std::string& createdPath,
                                 CleanupSlot& cleanup, const std::uint32_t* permissions) {
  // Created with the bits asked for where the mask leaves them all, so that
  // no separate change of permissions is needed.
  const mode_t mode = permissions != nullptr ? static_cast<mode_t>(*permissions & 07777) : 0666;
  const bool setLater = permissions != nullptr && ((mode & creationMask()) != 0 || (mode & 07000) != 0);
  for (int attempt = 0; attempt < 100; ++attempt) {
    createdPath = temporaryNameBeside(targetPath);
    // Registered first, so that no interruption can leave the file behind,
    // not even one whose cleanup runs on another thread.
    const CreationGuard guard;
    if (!guard.mayCreate()) break;
    cleanup = removeOnInterrupt(createdPath);
    const int file = ::open(createdPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                            setLater ? 0600 : mode);
    if (file >= 0) {
      if (!setLater || ::fchmod(file, mode) == 0) return file;
      ::close(file);
      ::unlink(createdPath.c_str());
      forgetOnInterrupt(cleanup);
      break;
    }
    forgetOnInterrupt(cleanup);
    if (errno != EEXIST) break;
  }
  cleanup = noCleanup;
  createdPath.clear();
  return noDescriptor;
}

Descriptor openForAppending(const std::string& path) {
  const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  return file < 0 ? noDescriptor : file;
}

bool truncateFile(Descriptor file, std::uint64_t size) {
  return ::ftruncate(file, static_cast<off_t>(size)) == 0;
}

bool setPermissions(Descriptor file, std::uint32_t permissions) {
  return ::fchmod(file, static_cast<mode_t>(permissions)) == 0;
}

bool setOwner(Descriptor file, std::uint32_t owner, std::uint32_t group) {
  return ::fchown(file, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0;
}

bool setModificationTime(Descriptor file, std::uint32_t secondsSince1970) {
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(secondsSince1970);
  times[1].tv_nsec = 0;
  return ::futimens(file, times) == 0;
}

bool renameReplacing(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool makeHardLink(const std::string& existingPath, const std::string& linkPath) {
  return ::link(existingPath.c_str(), linkPath.c_str()) == 0;
}

std::FILE* openInputStream(const std::string& path) {
  const Descriptor file = openForReading(path);
  if (file == noDescriptor) return nullptr;
  std::FILE* stream = ::fdopen(file, "rb");
  if (stream == nullptr) ::close(file);
  return stream;
}

}  // namespace catpack::platform
