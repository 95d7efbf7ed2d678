// File status queries on POSIX.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

bool queryPathStatus(const std::string& path, PathStatus& status) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  status.isFolder = S_ISDIR(info.st_mode);
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modificationTime = static_cast<std::int64_t>(info.st_mtime);
  status.permissions = static_cast<std::uint32_t>(info.st_mode & 07777);
  return true;
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

}  // namespace catpack::platform
