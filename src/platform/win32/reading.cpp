// Descriptor and stream input on Windows, always in binary mode.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

namespace {
// Offsets beyond 4 GiB must reach the seek whole.
static_assert(sizeof(__int64) == 8 && sizeof(std::uint64_t) == 8);
// The largest count handed to one read call, whose count is an int.
constexpr std::size_t largestRead = std::size_t{1} << 30;
}  // namespace

Descriptor openForReading(const std::string& path) {
  // Shared for writing and deletion, so that a file being read can still be
  // replaced by renaming (a catalog written over one of its inputs). Opening
  // never blocks on Windows; what is not a plain file is refused.
  const HANDLE handle =
      ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return noDescriptor;
  const Descriptor file = win32::adoptHandle(handle, _O_RDONLY);
  if (file != noDescriptor && regularFileSize(file) < 0) {
    ::_close(file);
    return noDescriptor;
  }
  return file;
}

Descriptor openForReadingWithLength(const std::string& path, std::int64_t& length) {
  const Descriptor file = openForReading(path);
  if (file != noDescriptor) length = regularFileSize(file);
  return file;
}

std::int64_t seekFromStart(Descriptor file, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return -1;
  return ::_lseeki64(file, static_cast<__int64>(offset), SEEK_SET);
}

std::int64_t regularFileSize(Descriptor file) {
  struct _stat64 info {};
  if (::_fstat64(file, &info) != 0 || (info.st_mode & _S_IFREG) == 0) return -1;
  return info.st_size;
}

std::int64_t readAt(Descriptor file, void* buffer, std::size_t count, std::uint64_t offset) {
  // A read at an offset moves a synchronous handle's position: put it back.
  const __int64 position = ::_lseeki64(file, 0, SEEK_CUR);
  if (position < 0) return -1;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(count < largestRead ? count : largestRead);
  const bool read = ::ReadFile(win32::handleOf(file), buffer, asked, &got, &at) != 0;
  const bool atEnd = !read && ::GetLastError() == ERROR_HANDLE_EOF;
  if (::_lseeki64(file, position, SEEK_SET) != position) return -1;
  if (atEnd) return 0;
  return read ? static_cast<std::int64_t>(got) : -1;
}

bool closeDescriptor(Descriptor file) { return ::_close(file) == 0; }

std::FILE* openInputStream(const std::string& path) {
  const Descriptor file = openForReading(path);
  if (file == noDescriptor) return nullptr;
  std::FILE* stream = ::_fdopen(file, "rb");
  if (stream == nullptr) ::_close(file);
  return stream;
}

}  // namespace catpack::platform
