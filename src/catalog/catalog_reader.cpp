#include "catalog/catalog_reader.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "catalog/catalog_format.h"
#include "catalog/index_lines.h"
#include "catalog/old_time_probe.h"
#include "util/console.h"
#include "util/loading.h"
#include "util/progress.h"

namespace catpack {

bool readCatalog(FileIndex& index, const std::string& base) {
  printOut("Reading from catalog %s\n", base.c_str());
  const ProgressPhase phase("Reading catalog", unknownTotal, unknownTotal);
  std::optional<ByteBuffer> text = loadFile(base + ".cat");
  if (!text) return false;
  const bool oldFormat = isOldCatalogText(text->data(), text->size());
  if (oldFormat) scrambleIndexText(text->data(), text->size(), 0);

  // The index keeps the text; names and digests are used where they stand,
  // each ended by a NUL written over the space or line break behind it.
  const std::size_t length = text->size();
  index.reserveMore(static_cast<std::size_t>(std::count(text->data(), text->data() + length, '\n')) + 1);
  const FileIndex::TextSource source = index.adoptCatalogText(base, std::move(*text), oldFormat);
  unsigned char* bytes = source.bytes;
  const std::string dataPath = base + ".dat";
  std::uint64_t offset = 0;
  std::size_t longestStart = 0;
  std::size_t longestLength = 0;
  IndexLineScanner scanner(bytes, length, oldFormat);
  IndexLineFields line;
  while (scanner.next(line)) {
    bytes[line.nameEnd] = '\0';
    const char* name = reinterpret_cast<const char*>(bytes + line.nameStart);
    std::uint32_t digest = FileIndex::noDigest;
    if (line.hasDigest) {
      if (line.lineEnd < length) {
        bytes[line.lineEnd] = '\0';
        digest = static_cast<std::uint32_t>(line.digestStart);
      } else {
        digest = index.copyIntoSource(
            source, std::string_view(reinterpret_cast<const char*>(bytes + line.digestStart),
                                     indexDigestLength));
      }
    }
    const std::int64_t time =
        oldFormat ? probeOldTime(std::string(name, line.nameLength), dataPath, offset,
                                 static_cast<std::uint32_t>(line.size))
                  : line.time;
    index.addTextMember(source, static_cast<std::uint32_t>(line.nameStart),
                        static_cast<std::uint32_t>(line.nameLength), line.size, time, offset, digest);
    offset += static_cast<std::uint32_t>(line.size);
    advance(1, static_cast<std::uint32_t>(line.size));
    if (line.nameLength > longestLength) {
      longestStart = line.nameStart;
      longestLength = line.nameLength;
    }
  }
  printOut("Done - Max filename size: %d, filename: %s\n", static_cast<int>(longestLength),
           longestLength == 0 ? "" : reinterpret_cast<const char*>(bytes + longestStart));
  return true;
}

bool isOldCatalog(const std::string& base) {
  std::optional<ByteBuffer> text = loadFile(base + ".cat");
  return text && isOldCatalogText(text->data(), text->size());
}

}  // namespace catpack
