#include "util/file_status.h"

#include "platform/platform.h"

namespace catpack {

namespace {

constexpr std::uint64_t largestSize = 0x7FFFFFFF;

// fileSize of `path`, whose status query gave `status`.
std::int32_t sizeFromStatus(const std::string& path, const platform::PathStatus& status) {
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

// The time fileSizeAndTime gives for a path whose status query gave `status`.
std::int64_t timeFromStatus(const platform::PathStatus& status) {
  if (!status.isFolder && status.size > largestSize) return 0;
  return status.modificationTime;
}

}  // namespace

std::int32_t fileSize(const std::string& path) {
  platform::PathStatus status;
  if (!platform::queryPathStatus(path, status)) return -1;
  return sizeFromStatus(path, status);
}

std::int32_t fileSizeAndTime(const std::string& path, std::int64_t& time) {
  platform::PathStatus status;
  if (!platform::queryPathStatus(path, status)) {
    time = 0;
    return -1;
  }
  time = timeFromStatus(status);
  return sizeFromStatus(path, status);
}

}  // namespace catpack
