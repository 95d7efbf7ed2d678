// Temporary files beside their targets, renaming over targets and removing
// files on Windows.
#include <windows.h>

#include <atomic>
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

// A short name in the folder of `targetPath` that this process has not
// given out before.
std::string nextNameBeside(const std::string& targetPath) {
  static std::atomic<unsigned> counter{0};
  char name[48];
  std::snprintf(name, sizeof name, ".cpk%lx.%x", static_cast<unsigned long>(::GetCurrentProcessId()),
                counter.fetch_add(1) + 1);
  return folderOf(targetPath) + name;
}

}  // namespace

Descriptor createTemporaryBeside(const std::string& targetPath, std::string& createdPath,
                                 CleanupSlot& cleanup, const std::uint32_t* permissions) {
  cleanup = noCleanup;
  for (int attempt = 0; attempt < 100; ++attempt) {
    createdPath = nextNameBeside(targetPath);
    // Registered first, so that no interruption can leave the file behind,
    // with the cleanup's lock held until the file is made; shared for
    // deletion, so that the cleanup can remove it while open.
    const InterruptDeferral deferral;
    cleanup = removeOnInterrupt(createdPath);
    const HANDLE handle =
        ::CreateFileA(createdPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const Descriptor file = win32::adoptHandle(handle);
      if (file != noDescriptor && (permissions == nullptr || setPermissions(file, *permissions))) {
        return file;
      }
      if (file != noDescriptor) closeDescriptor(file);
      forgetOnInterrupt(cleanup);
      cleanup = noCleanup;
      ::DeleteFileA(createdPath.c_str());
      break;
    }
    const DWORD error = ::GetLastError();
    forgetOnInterrupt(cleanup);
    cleanup = noCleanup;
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  createdPath.clear();
  return noDescriptor;
}

Descriptor createNewFile(const std::string& path, CleanupSlot& cleanup) {
  cleanup = noCleanup;
  // The deferral holds the lock the cleanup takes, on whatever thread the
  // system runs it.
  const InterruptDeferral deferral;
  // Shared for deletion, so that the interruption cleanup can remove it while open.
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return noDescriptor;
  const Descriptor file = win32::adoptHandle(handle);
  if (file == noDescriptor) {
    ::DeleteFileA(path.c_str());
    return noDescriptor;
  }
  cleanup = removeOnInterrupt(path);
  return file;
}

std::string temporaryNameBeside(const std::string& targetPath) {
  for (;;) {
    std::string name = nextNameBeside(targetPath);
    if (::GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
  }
}

bool renameReplacing(const std::string& from, const std::string& to) {
  // Written through: the rename is on the disk once the call returns.
  return ::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != 0; }

}  // namespace catpack::platform
