// Descriptor and stream input on Windows, always in binary mode.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace catpack::platform {

namespace {
// The largest count handed to one read call, whose count is an int.
constexpr std::size_t largestRead = std::size_t{1} << 30;
}  // namespace

Descriptor openForReading(const std::string& path) {
  const int file = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (file < 0) return noDescriptor;
  if (regularFileSize(file) < 0) {
    ::_close(file);
    return noDescriptor;
  }
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

std::int64_t readSome(Descriptor file, void* buffer, std::size_t count) {
  const unsigned asked = static_cast<unsigned>(count < largestRead ? count : largestRead);
  return ::_read(file, buffer, asked);
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
