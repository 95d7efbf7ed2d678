// File status queries on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform.h"

namespace catpack::platform {

bool queryPathStatus(const std::string& path, PathStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  status.isFolder = S_ISDIR(info.st_mode);
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modificationTime = static_cast<std::int64_t>(info.st_mtime);
  status.device = static_cast<std::uint64_t>(info.st_dev);
  status.inode = static_cast<std::uint64_t>(info.st_ino);
  status.permissions = static_cast<std::uint32_t>(info.st_mode & 07777);
  return true;
}

bool isWritable(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

}  // namespace catpack::platform
