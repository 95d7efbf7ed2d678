#include "index/entry_content.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "digest/md5.h"
#include "platform/platform.h"

namespace catpack {

namespace {

// Large members pass through one buffer per thread, reused for every piece.
constexpr std::uint32_t pieceSize = 1u << 20;

}  // namespace

std::string memberSourcePath(const EntryView& entry) {
  if (entry.inCatalog) return entry.catalog + ".dat";
  return entry.folder + "/" + entry.name;
}

std::optional<RangeReader> openStoredBytes(const EntryView& entry, const OpenFiles* held) {
  return RangeReader::open(memberSourcePath(entry), static_cast<std::uint32_t>(entry.size),
                           entry.inCatalog ? entry.offset : 0, held);
}

std::optional<RangeReader> openStoredBytesQuietly(const EntryView& entry, const OpenFiles* held) {
  return RangeReader::openQuietly(memberSourcePath(entry), static_cast<std::uint32_t>(entry.size),
                                  entry.inCatalog ? entry.offset : 0, held);
}

void holdCatalogDataOpen(const FileIndex& index, OpenFiles& held) {
  bool first = true;
  std::string_view previous;
  for (const auto& [key, entry] : index) {
    // Members of one catalog mostly follow each other: skip the repeats cheaply.
    if (!entry.inCatalog || (!first && previous == std::string_view(entry.catalog))) continue;
    first = false;
    previous = entry.catalog;
    held.holdOpen(entry.catalog + ".dat");
  }
}

StreamOutcome streamBytes(RangeReader& source, bool toggleScrambling,
                          const std::function<bool(const unsigned char*, std::uint32_t)>& sink) {
  thread_local std::vector<unsigned char> piece(pieceSize);
  while (source.remaining() > 0) {
    const std::uint32_t count = source.remaining() < pieceSize ? source.remaining() : pieceSize;
    if (!source.read(piece.data(), count)) return StreamOutcome::readFailed;
    if (toggleScrambling) xorBytes(piece.data(), count, dataKey);
    if (!sink(piece.data(), count)) return StreamOutcome::sinkFailed;
  }
  return StreamOutcome::complete;
}

std::string entryDigest(const EntryView& entry) {
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
  std::optional<RangeReader> source = openStoredBytes(entry);
  if (!source) return std::string();
  Md5Context context;
  md5Init(context);
  const StreamOutcome outcome =
      streamBytes(*source, entry.scrambled, [&](const unsigned char* bytes, std::uint32_t count) {
        md5Update(context, bytes, count);
        return true;
      });
  const std::string digest = md5ToHex(md5Final(context));
  return outcome == StreamOutcome::complete ? digest : std::string();
}

}  // namespace catpack
