#include "util/file_status.h"

#include "platform/platform.h"

namespace catpack {

namespace {
constexpr std::uint64_t largestSize = 0x7FFFFFFF;
}

std::int32_t fileSize(const std::string& path) {
  platform::PathStatus status;
  if (!platform::queryPathStatus(path, status)) return -1;
  if (status.isFolder) return -2;
  // Only plain files are read: a FIFO or a device would block or never end.
  if (!status.isRegular) return -1;
  if (status.size <= largestSize) return static_cast<std::int32_t>(status.size);
  // The size overflows a 32-bit status field: measure the file again by
  // seeking to its end, which may find it shrunk since.
  const std::int64_t measured = platform::sizeBySeekingToEnd(path);
  if (measured < 0 || static_cast<std::uint64_t>(measured) > largestSize) return -1;
  return static_cast<std::int32_t>(measured);
}

std::int64_t fileTime(const std::string& path) {
  platform::PathStatus status;
  if (!platform::queryPathStatus(path, status)) return 0;
  if (!status.isFolder && status.size > largestSize) return 0;
  return status.modificationTime;
}

}  // namespace catpack
