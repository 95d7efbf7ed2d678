// Symbolic and hard links on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace catpack::platform {

std::string resolveLinks(const std::string& path) {
  PathStatus status;
  if (!queryLinkStatus(path, status) || !status.isLink) return path;
  // Opening follows the whole chain; the system names where it ended.
  const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  char final[MAX_PATH + 8];
  const DWORD length = ::GetFinalPathNameByHandleA(file, final, sizeof final, FILE_NAME_NORMALIZED);
  ::CloseHandle(file);
  if (length == 0 || length >= sizeof final) return path;
  std::string target(final, length);
  const std::string longPrefix = "\\\\?\\";
  if (target.compare(0, longPrefix.size(), longPrefix) == 0) target.erase(0, longPrefix.size());
  return target;
}

bool makeHardLink(const std::string& existingPath, const std::string& linkPath) {
  return ::CreateHardLinkA(linkPath.c_str(), existingPath.c_str(), nullptr) != 0;
}

}  // namespace catpack::platform
