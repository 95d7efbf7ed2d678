// File status queries and link resolution on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "platform/platform.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

namespace {

void fillStatus(const struct stat& info, PathStatus& status) {
  status.isFolder = S_ISDIR(info.st_mode);
  status.isRegular = S_ISREG(info.st_mode);
  status.isLink = S_ISLNK(info.st_mode);
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modificationTime = static_cast<std::int64_t>(info.st_mtime);
  status.permissions = static_cast<std::uint32_t>(info.st_mode & 07777);
  status.owner = static_cast<std::uint32_t>(info.st_uid);
  status.group = static_cast<std::uint32_t>(info.st_gid);
}

// The target of the link at `path`, taken relative to the link's folder.
bool readLinkTarget(const std::string& path, std::string& target) {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return false;
  target.assign(buffer, static_cast<std::size_t>(length));
  if (target.front() == '/') return true;
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) target = path.substr(0, slash + 1) + target;
  return true;
}

}  // namespace

bool queryPathStatus(const std::string& path, PathStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  fillStatus(info, status);
  return true;
}

bool queryLinkStatus(const std::string& path, PathStatus& status) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return false;
  fillStatus(info, status);
  return true;
}

std::string resolveLinks(const std::string& path) {
  constexpr int mostLinks = 40;  // as many as the system itself follows
  std::string current = path;
  for (int followed = 0; followed < mostLinks; ++followed) {
    struct stat info {};
    if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::string target;
    if (!readLinkTarget(current, target)) return path;
    current = std::move(target);
  }
  return path;
}

std::int64_t sizeBySeekingToEnd(const std::string& path) {
  std::FILE* stream = openInputStream(path);
  if (stream == nullptr) return -1;
  const std::int64_t size =
      ::fseeko(stream, 0, SEEK_END) == 0 ? static_cast<std::int64_t>(::ftello(stream)) : -1;
  std::fclose(stream);
  return size;
}

bool identifyFolder(const std::string& path, FolderIdentity& identity) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  identity.volume = static_cast<std::uint64_t>(info.st_dev);
  identity.index = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

bool isWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

char pathSeparator() { return '/'; }

bool refusesColonInNames() { return false; }

bool absolutePathsBeginWithSlash() { return true; }

}  // namespace catpack::platform
