#include "catalog/catalog_writer.h"

#include <optional>

#include "catalog/catalog_format.h"
#include "catalog/catalog_output.h"
#include "catalog/catalog_reader.h"
#include "catalog/index_lines.h"
#include "digest/md5.h"
#include "index/entry_content.h"
#include "util/console.h"
#include "util/file_status.h"
#include "util/loading.h"
#include "util/text.h"

namespace catpack {

namespace {

// True when the sizes the existing index lists add up to its data file's
// length, so that appended members land at the offsets their lines imply.
bool isConsistentForAppending(const std::string& base, bool oldFormat) {
  std::uint64_t listed = 0;
  if (fileSize(base + ".cat") != -1) {
    std::optional<ByteBuffer> text = loadFile(base + ".cat");
    if (!text) return false;
    if (oldFormat) scrambleIndexText(text->data(), text->size(), 0);
    forEachIndexLine(text->data(), text->size(), oldFormat, [&](const IndexLine& line) {
      listed += static_cast<std::uint32_t>(line.size);
    });
  }
  platform::PathStatus data;
  const std::uint64_t dataSize = platform::queryPathStatus(base + ".dat", data) ? data.size : 0;
  return listed == dataSize && !data.isFolder;
}

// A name that cannot be written as an index line of the format.
bool isIllegalName(const std::string& name, bool oldFormat) {
  if (name.find_first_of("\r\n") != std::string::npos) return true;
  return oldFormat && (name.empty() || !isOldFormatName(name));
}

const std::string& zeroDigest() {
  static const std::string zeros = md5ToHex(Md5Digest{});
  return zeros;
}

// Writes one entry; false only when a file write failed. An entry that
// cannot be named or read is left out of both files.
bool writeMember(CatalogOutput& output, const EntryView& entry, bool oldFormat,
                 std::uint64_t& indexPosition) {
  if (isIllegalName(entry.name, oldFormat)) {
    printErr("Illegal file name %s\n", entry.name.c_str());
    return true;
  }
  // Only a current-format line needs a digest; a known one is not computed again.
  std::string digest = entry.size == 0 ? zeroDigest() : entry.digest;
  const bool hashing = !oldFormat && digest.empty();
  if (entry.size != 0) {
    std::optional<RangeReader> source = openStoredBytes(entry);
    if (!source) return true;
    Md5Context context;
    md5Init(context);
    const std::uint64_t memberStart = output.dataSize();
    const StreamOutcome outcome = streamBytes(
        *source, entry.scrambled != oldFormat, [&](const unsigned char* bytes, std::uint32_t count) {
          if (hashing) md5Update(context, bytes, count);
          return output.writeData(bytes, count);
        });
    if (outcome == StreamOutcome::sinkFailed) return false;
    if (outcome == StreamOutcome::readFailed) return output.cutDataBack(memberStart);
    if (hashing) digest = md5ToHex(md5Final(context));
  }
  std::string line;
  if (oldFormat) {
    line = formatText("%s %d\n", entry.name.c_str(), entry.size);
    scrambleIndexText(reinterpret_cast<unsigned char*>(line.data()), line.size(), indexPosition);
    indexPosition += line.size();
  } else {
    line = formatText("%s %d %d %s\n", entry.name.c_str(), entry.size,
                      static_cast<std::int32_t>(entry.time), digest.c_str());
  }
  return output.writeIndex(line);
}

}  // namespace

bool writeCatalog(const FileIndex& index, const std::string& base, bool append, bool oldFormat) {
  bool outputOld = oldFormat;
  std::uint64_t indexPosition = 0;
  CatalogOutput output(base);
  if (append) {
    outputOld = isOldCatalog(base);
    if (outputOld) indexPosition = static_cast<std::uint32_t>(fileSize(base + ".cat"));
    if (!isConsistentForAppending(base, outputOld)) {
      printErr("Catalog %s is inconsistent, not appending\n", base.c_str());
      return false;
    }
    if (!output.openForAppending()) return false;
  } else if (!output.openNew()) {
    return false;
  }

  bool written = true;
  if (outputOld && !append) {
    std::string first = "foo.dat\n";
    scrambleIndexText(reinterpret_cast<unsigned char*>(first.data()), first.size(), 0);
    written = output.writeIndex(first);
    indexPosition = first.size();
  }
  for (auto entry = index.begin(); written && entry != index.end(); ++entry) {
    written = writeMember(output, entry->entry, outputOld, indexPosition);
  }
  if (!written || !output.commit()) {
    output.abandon();
    printErr("Failed writing catalog %s\n", base.c_str());
    return false;
  }
  return true;
}

}  // namespace catpack
