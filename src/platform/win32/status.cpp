// File status queries on Windows.
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

bool queryPathStatus(const std::string& path, PathStatus& status) {
  // The 64-bit size field gives the true size everywhere; the callers apply
  // the limit of a 32-bit field themselves.
  struct _stat64 info {};
  if (::_stat64(path.c_str(), &info) != 0) return false;
  status.isFolder = (info.st_mode & _S_IFDIR) != 0;
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modificationTime = static_cast<std::int64_t>(info.st_mtime);
  status.permissions = static_cast<std::uint32_t>(info.st_mode & 0777);
  return true;
}

std::int64_t sizeBySeekingToEnd(const std::string& path) {
  std::FILE* stream = openInputStream(path);
  if (stream == nullptr) return -1;
  const std::int64_t size = ::_fseeki64(stream, 0, SEEK_END) == 0 ? ::_ftelli64(stream) : -1;
  std::fclose(stream);
  return size;
}

bool isWritable(const std::string& path) { return ::_access(path.c_str(), 2) == 0; }

char pathSeparator() { return '\\'; }

bool refusesColonInNames() { return true; }

}  // namespace catpack::platform
