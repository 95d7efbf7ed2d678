#include "catalog/catalog_reader.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "catalog/catalog_format.h"
#include "catalog/index_lines.h"
#include "catalog/old_time_probe.h"
#include "index/catalog_members.h"
#include "util/console.h"
#include "util/loading.h"
#include "util/progress.h"
#include "util/text.h"
#include "util/workers.h"

namespace catpack {

namespace {

// Index texts from this length on are read on two threads.
constexpr std::size_t twoThreadLength = 1 << 20;

// What reading a stretch of an index text came to.
struct StretchTotals {
  std::uint64_t bytes = 0;  // of the members, which lie end to end in the data file
  std::size_t longestStart = 0;
  std::size_t longestLength = 0;  // 0: no member
};

// Where the members of a text come from, and how they are read.
struct TextReading {
  unsigned char* bytes;
  std::size_t length;
  bool oldFormat;
  std::string dataPath;
};

// Gathers the member lines of `scanner`, which starts at `start`, into
// `members`. The text is packed as it goes: each member's name, a NUL, and
// its digest and a NUL if it has one, end to end from `start` on, where the
// lines' other bytes were. The data offsets count from the stretch's first
// member. Counts progress when `showProgress`.
StretchTotals readStretch(const TextReading& text, std::size_t start, IndexLineScanner& scanner,
                          FileIndex::TextMembers::Stretch& members, bool showProgress) {
  unsigned char* bytes = text.bytes;
  StretchTotals totals;
  IndexLineFields line;
  std::size_t packed = start;
  while (scanner.next(line)) {
    const std::int64_t time =
        text.oldFormat
            ? probeOldTime(std::string(reinterpret_cast<const char*>(bytes + line.nameStart),
                                       line.nameLength),
                           text.dataPath, totals.bytes, static_cast<std::uint32_t>(line.size))
            : line.time;
    // A packed member never reaches past its own line: the name and the
    // digest stood there apart by at least three spaces.
    const std::size_t name = packed;
    std::memmove(bytes + packed, bytes + line.nameStart, line.nameLength);
    packed += line.nameLength;
    bytes[packed++] = '\0';
    if (line.hasDigest) {
      std::memmove(bytes + packed, bytes + line.digestStart, indexDigestLength);
      packed += indexDigestLength;
      bytes[packed++] = '\0';
    }
    members.add(static_cast<std::uint32_t>(name), static_cast<std::uint32_t>(line.nameLength),
                line.size, time, totals.bytes, line.hasDigest);
    totals.bytes += static_cast<std::uint32_t>(line.size);
    if (showProgress) advance(1, static_cast<std::uint32_t>(line.size));
    if (line.nameLength > totals.longestLength) {
      totals.longestStart = name;
      totals.longestLength = line.nameLength;
    }
  }
  return totals;
}

// The room kept behind `members` entries for entries added later (the
// deletion markers of a diff, a few files of a later input), which then fit
// without moving every entry: that would hold the old and the new storage
// at once. Room never used is never touched, and costs no memory.
std::size_t spareRoomFor(std::size_t members) { return members / 8; }

}  // namespace

bool readCatalog(FileIndex& index, const std::string& base) {
  printOut("Reading from catalog %s\n", base.c_str());
  const ProgressPhase phase("Reading catalog", unknownTotal, unknownTotal);
  LineFeedCount feeds;
  std::optional<ByteBuffer> loaded = loadFile(base + ".cat", &feeds);
  if (!loaded) return false;
  const bool oldFormat = isOldCatalogText(loaded->data(), loaded->size());
  if (oldFormat) scrambleIndexText(loaded->data(), loaded->size(), 0);

  // The index keeps the text; names and digests are used where they stand.
  const std::size_t length = loaded->size();
  const FileIndex::TextSource source = index.adoptCatalogText(base, std::move(*loaded), oldFormat);
  const TextReading text{source.bytes, length, oldFormat, base + ".dat"};

  // A long current-format text is read in two stretches side by side, cut
  // behind the line break nearest its middle. The old format's times are
  // probed in the data file member by member, so it is read in one.
  std::size_t cut = length;
  if (!oldFormat && length >= twoThreadLength && helperThreadCount() > 0) {
    const void* feed = std::memchr(text.bytes + length / 2, '\n', length - length / 2);
    if (feed != nullptr) cut = static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - text.bytes) + 1;
  }
  StretchTotals firstTotals;
  StretchTotals secondTotals;
  if (cut == length) {
    // The old format's line feeds are only known once it is unscrambled.
    const std::size_t lines =
        (oldFormat ? countLineFeeds(text.bytes, length) : feeds.firstHalf + feeds.secondHalf) + 1;
    FileIndex::TextMembers members(source, {lines}, spareRoomFor(lines));
    IndexLineScanner scanner(text.bytes, length, oldFormat);
    firstTotals = readStretch(text, 0, scanner, members.stretch(0), true);
    index.addMembers(std::move(members), {0});
  } else {
    // The cut follows the first line feed of the second half; the later
    // stretch has the others, and maybe a last line without one.
    const std::size_t firstLines = feeds.firstHalf + 1;
    const std::size_t laterLines = feeds.secondHalf;
    FileIndex::TextMembers members(source, {firstLines, laterLines},
                                   spareRoomFor(firstLines + laterLines));
    {
      const HelperThreads helper(1, [&] {
        IndexLineScanner scanner(text.bytes, cut, length);
        secondTotals = readStretch(text, cut, scanner, members.stretch(1), false);
      });
      IndexLineScanner scanner(text.bytes, 0, cut);
      firstTotals = readStretch(text, 0, scanner, members.stretch(0), true);
    }
    advance(members.stretch(1).count(), secondTotals.bytes);
    index.addMembers(std::move(members), {0, firstTotals.bytes});
  }

  // The first of the longest names.
  const StretchTotals& longest =
      secondTotals.longestLength > firstTotals.longestLength ? secondTotals : firstTotals;
  printOut("Done - Max filename size: %d, filename: %s\n", static_cast<int>(longest.longestLength),
           longest.longestLength == 0 ? ""
                                      : reinterpret_cast<const char*>(text.bytes + longest.longestStart));
  return true;
}

bool isOldCatalog(const std::string& base) {
  std::optional<ByteBuffer> text = loadFile(base + ".cat");
  return text && isOldCatalogText(text->data(), text->size());
}

}  // namespace catpack
