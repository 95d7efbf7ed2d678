// Writing, cutting back and stamping open files on Windows.
#include <sys/stat.h>
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

using win32::adoptHandle;
using win32::handleOf;

namespace {
// The largest count handed to one write call, whose count is 32 bits.
constexpr std::size_t largestWrite = std::size_t{1} << 30;
// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::uint64_t fileTimeOf1970 = 116444736000000000ull;
}  // namespace

bool writeAll(Descriptor file, const void* bytes, std::size_t count) {
  const HANDLE handle = handleOf(file);
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const DWORD asked = static_cast<DWORD>(count < largestWrite ? count : largestWrite);
    DWORD done = 0;
    if (!::WriteFile(handle, next, asked, &done, nullptr) || done == 0) return false;
    next += done;
    count -= done;
  }
  return true;
}

std::size_t copyBetween(Descriptor, std::uint64_t, Descriptor, std::size_t) {
  // Every copy goes through the process here.
  return 0;
}

Descriptor openForAppending(const std::string& path) {
  const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return noDescriptor;
  if (!::SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END)) {
    ::CloseHandle(handle);
    return noDescriptor;
  }
  return adoptHandle(handle);
}

bool truncateFile(Descriptor file, std::uint64_t size) {
  LARGE_INTEGER position{};
  position.QuadPart = static_cast<LONGLONG>(size);
  const HANDLE handle = handleOf(file);
  return ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle);
}

bool setPermissions(Descriptor file, std::uint32_t permissions) {
  // Windows files know one permission: whether they may be written.
  const HANDLE handle = handleOf(file);
  FILE_BASIC_INFO information{};
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &information, sizeof information)) {
    return false;
  }
  DWORD attributes = information.FileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  if ((permissions & _S_IWRITE) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (attributes == information.FileAttributes) return true;
  FILE_BASIC_INFO change{};  // times of 0 are left as they are
  change.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &change, sizeof change) != 0;
}

bool setOwner(Descriptor, std::uint32_t owner, std::uint32_t group) {
  // Windows files have no numeric owner and group: status reports 0 for
  // both, and that is all that can be kept.
  return owner == 0 && group == 0;
}

bool setModificationTime(Descriptor file, std::uint32_t secondsSince1970) {
  const std::uint64_t ticks = std::uint64_t{secondsSince1970} * 10000000u + fileTimeOf1970;
  FILETIME lastWrite{};
  lastWrite.dwLowDateTime = static_cast<DWORD>(ticks);
  lastWrite.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ::SetFileTime(handleOf(file), nullptr, nullptr, &lastWrite) != 0;
}

}  // namespace catpack::platform
