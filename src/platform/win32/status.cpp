// File status queries on Windows. Sizes, the folder bit and times come from
// the system's own calls, which report them whole: the runtime library's
// status call refuses a path ending in a separator, and some runtimes give
// no true time for files dated before 1970 or at 2^32 seconds and later.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

namespace {

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::int64_t fileTimeOf1970 = 116444736000000000LL;
constexpr std::int64_t ticksPerSecond = 10000000;

// Whole seconds since 1970 of a file time, rounded down, as POSIX systems
// count them (a time before 1970 is negative).
std::int64_t secondsSince1970(const FILETIME& time) {
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) -
      fileTimeOf1970;
  const std::int64_t seconds = ticks / ticksPerSecond;
  return ticks % ticksPerSecond < 0 ? seconds - 1 : seconds;
}

// Fills `status` from what the system reports about an entry.
void fillStatus(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& lastWrite,
                PathStatus& status) {
  status = PathStatus{};
  status.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.isRegular = !status.isFolder && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  status.size = (std::uint64_t{sizeHigh} << 32) | sizeLow;
  status.modificationTime = secondsSince1970(lastWrite);
  status.permissions = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444u : 0666u;
}

// Fills `status` for what the link at `path` finally leads to; false when
// the chain ends nowhere.
bool queryLinkTarget(const std::string& path, PathStatus& status) {
  // Opening follows the whole chain; folders open only with backup semantics.
  const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = ::GetFileInformationByHandle(file, &information) != 0;
  ::CloseHandle(file);
  if (!known) return false;
  fillStatus(information.dwFileAttributes, information.nFileSizeHigh, information.nFileSizeLow,
             information.ftLastWriteTime, status);
  return true;
}

// Whether `path` was typed with a separator at its end.
bool endsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

}  // namespace

bool queryPathStatus(const std::string& path, PathStatus& status) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // The attributes describe the link itself, not what it leads to.
    if (!queryLinkTarget(path, status)) return false;
  } else {
    fillStatus(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime,
               status);
  }
  // A path ending in a separator names a folder: a file cannot be reached
  // so, whatever the system makes of the separator.
  return status.isFolder || !endsInSeparator(path);
}

bool queryLinkStatus(const std::string& path, PathStatus& status) {
  // A path ending in a separator names the folder it leads to, links
  // followed; a search for such a path finds nothing.
  if (endsInSeparator(path)) return queryPathStatus(path, status);
  // A search for the path itself describes the entry without following it.
  WIN32_FIND_DATAA entry{};
  const HANDLE search = ::FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  fillStatus(entry.dwFileAttributes, entry.nFileSizeHigh, entry.nFileSizeLow, entry.ftLastWriteTime,
             status);
  status.isLink = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                  entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
  if (status.isLink) status.isFolder = status.isRegular = false;
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

// Absolute paths begin with a drive letter.
bool absolutePathsBeginWithSlash() { return false; }

}  // namespace catpack::platform
