// Temporary files beside their targets, renaming over targets and removing
// files on Windows.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

namespace {

// The folder part of `path`, with its last separator; empty for a bare name.
std::string folderOf(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

Descriptor createTemporaryBeside(const std::string& targetPath, std::string& createdPath) {
  static unsigned counter = 0;
  const std::string folder = folderOf(targetPath);
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, ".catpack-%lu-%u.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()), ++counter);
    createdPath = folder + name;
    const HANDLE handle = ::CreateFileA(createdPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const Descriptor file = win32::adoptHandle(handle);
      if (file != noDescriptor) return file;
      ::DeleteFileA(createdPath.c_str());
      break;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  createdPath.clear();
  return noDescriptor;
}

bool renameReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

}  // namespace catpack::platform
