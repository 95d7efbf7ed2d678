#include "index/entry_content.h"

#include <cstdio>

#include "digest/md5.h"
#include "platform/platform.h"
#include "util/loading.h"

namespace catpack {

std::string memberSourcePath(const FileEntry& entry) {
  if (entry.inCatalog) return entry.catalog + ".dat";
  return entry.folder + "/" + entry.name;
}

std::optional<ByteBuffer> loadStoredBytes(const FileEntry& entry) {
  return loadRange(memberSourcePath(entry), static_cast<std::uint32_t>(entry.size),
                   entry.inCatalog ? entry.offset : 0);
}

std::string entryDigest(const FileEntry& entry) {
  if (!entry.digest.empty()) return entry.digest;
  if (!entry.inCatalog) {
    // An entry without any source (a deletion marker) has no content to read.
    if (entry.folder.empty()) return std::string();
    std::FILE* stream = platform::openInputStream(memberSourcePath(entry));
    if (stream == nullptr) return std::string();
    std::string digest = md5HexOfStream(stream);
    std::fclose(stream);
    return digest;
  }
  std::optional<ByteBuffer> bytes = loadStoredBytes(entry);
  if (!bytes) return std::string();
  if (entry.scrambled) bytes->xorWith(dataKey);
  return md5HexOfBuffer(bytes->data(), bytes->size());
}

}  // namespace catpack
