#include "catalog/catalog_reader.h"

#include <optional>

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

  const std::string dataPath = base + ".dat";
  std::uint64_t offset = 0;
  std::string longestName;
  forEachIndexLine(text->data(), text->size(), oldFormat, [&](const IndexLine& line) {
    const std::int64_t time =
        oldFormat ? probeOldTime(line.name, dataPath, offset, static_cast<std::uint32_t>(line.size))
                  : line.time;
    index.addCatalogMember(line.name, line.size, time, base, offset, line.digest, oldFormat);
    offset += static_cast<std::uint32_t>(line.size);
    advance(1, static_cast<std::uint32_t>(line.size));
    if (line.name.size() > longestName.size()) longestName = line.name;
  });
  printOut("Done - Max filename size: %d, filename: %s\n", static_cast<int>(longestName.size()),
           longestName.c_str());
  return true;
}

bool isOldCatalog(const std::string& base) {
  std::optional<ByteBuffer> text = loadFile(base + ".cat");
  return text && isOldCatalogText(text->data(), text->size());
}

}  // namespace catpack
