#include "index/index_totals.h"

#include <algorithm>

namespace catpack {

std::uint64_t contentBytes(const FileIndex& index) {
  std::uint64_t bytes = 0;
  for (const auto& [key, entry] : index) bytes += static_cast<std::uint32_t>(entry.size);
  return bytes;
}

std::uint64_t largestContent(const FileIndex& index) {
  std::uint64_t largest = 0;
  for (const auto& [key, entry] : index) {
    largest = std::max<std::uint64_t>(largest, static_cast<std::uint32_t>(entry.size));
  }
  return largest;
}

}  // namespace catpack
