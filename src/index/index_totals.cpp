#include "index/index_totals.h"

namespace catpack {

std::uint64_t contentBytes(const FileIndex& index) {
  std::uint64_t bytes = 0;
  for (const auto& [key, entry] : index) bytes += static_cast<std::uint32_t>(entry.size);
  return bytes;
}

}  // namespace catpack
