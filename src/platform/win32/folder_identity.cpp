// Telling folders apart on Windows: volume serial number and file index.
#include <windows.h>

#include "platform/platform.h"

namespace catpack::platform {

bool identifyFolder(const std::string& path, FolderIdentity& identity) {
  // Folders can only be opened with backup semantics; the handle asks for
  // no access beyond reading the attributes.
  const HANDLE folder =
      ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = ::GetFileInformationByHandle(folder, &information) != 0;
  ::CloseHandle(folder);
  if (!known) return false;
  identity.volume = information.dwVolumeSerialNumber;
  identity.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                   information.nFileIndexLow;
  return true;
}

}  // namespace catpack::platform
