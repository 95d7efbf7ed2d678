#include "support/platform_facts.h"

#include "platform/platform.h"

namespace catpack::testing {

std::string native(const std::string& path) {
  std::string converted = path;
  for (char& byte : converted) {
    if (byte == '/') byte = platform::pathSeparator();
  }
  return converted;
}

}  // namespace catpack::testing
