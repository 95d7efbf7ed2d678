// File status queries on Windows.
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

namespace {
// Sizes and times beyond 32 bits must come through whole (`long` is 32
// bits wide on Windows, 32- and 64-bit alike).
static_assert(sizeof(_stat64::st_size) == 8 && sizeof(_stat64::st_mtime) == 8);
// 100-nanosecond intervals from 1601-01-01 to 1970-01-01, both UTC.
constexpr std::int64_t fileTimeOf1970 = 116444736000000000LL;
}  // namespace

bool queryPathStatus(const std::string& path, PathStatus& status) {
  // The 64-bit size field gives the true size everywhere (a 32-bit one is
  // cut short under some runtimes); the callers apply the 2 GiB limit.
  struct _stat64 info {};
  if (::_stat64(path.c_str(), &info) != 0) return false;
  status = PathStatus{};
  status.isFolder = (info.st_mode & _S_IFDIR) != 0;
  status.isRegular = (info.st_mode & _S_IFREG) != 0;
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.modificationTime = static_cast<std::int64_t>(info.st_mtime);
  status.permissions = static_cast<std::uint32_t>(info.st_mode & 0777);
  return true;
}

bool queryLinkStatus(const std::string& path, PathStatus& status) {
  // A search for the path itself describes the entry without following it.
  WIN32_FIND_DATAA entry{};
  const HANDLE search = ::FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  const DWORD attributes = entry.dwFileAttributes;
  status = PathStatus{};
  status.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                  entry.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
  status.isFolder = !status.isLink && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.isRegular = !status.isLink && !status.isFolder;
  status.size = (std::uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
  const std::int64_t ticks = static_cast<std::int64_t>(
      (std::uint64_t{entry.ftLastWriteTime.dwHighDateTime} << 32) | entry.ftLastWriteTime.dwLowDateTime);
  status.modificationTime = (ticks - fileTimeOf1970) / 10000000;
  status.permissions = (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444u : 0666u;
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
