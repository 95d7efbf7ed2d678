#include "support/platform_facts.h"

#include <filesystem>

#include "platform/platform.h"

namespace catpack::testing {

std::string native(const std::string& path) {
  std::string converted = path;
  for (char& byte : converted) {
    if (byte == '/') byte = platform::pathSeparator();
  }
  return converted;
}

std::int64_t fileSizeOf(const std::string& path) {
  std::error_code failed;
  const std::uintmax_t size = std::filesystem::file_size(path, failed);
  return failed ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace catpack::testing
