#include "catalog/catalog_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_format.h"
#include "catalog/index_lines.h"
#include "catalog/old_time_probe.h"
#include "index/catalog_members.h"
#include "index/key_text.h"
#include "util/console.h"
#include "util/loading.h"
#include "util/progress.h"
#include "util/text.h"
#include "util/workers.h"

namespace catpack {

namespace {

// Index texts from this length on are read piece by piece as they arrive,
// on two threads where there are two.
constexpr std::size_t streamedLength = 1 << 20;
// The pieces they arrive in.
constexpr std::uint32_t pieceLength = 256 << 10;

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

// Gathers member lines into the members of one stretch of a text, packing
// the text as it goes: each member's name, a NUL, and its digest and a NUL
// if it has one, end to end from the stretch's start on, where the lines'
// other bytes were. The data offsets count from the stretch's first member.
class StretchPacker {
 public:
  StretchPacker(const TextReading& text, std::size_t start,
                FileIndex::TextMembers::Stretch& members, bool showProgress)
      : text_(text), members_(members), showProgress_(showProgress), packed_(start) {}

  // Gathers the member lines of `scanner`, which reads nothing before the
  // end of what is packed so far.
  void pack(IndexLineScanner& scanner);

  // Where the next packed member goes.
  std::size_t packedEnd() const { return packed_; }
  const StretchTotals& totals() const { return totals_; }

 private:
  // A line read ahead of packing it, and the lookup of its key.
  struct LineAhead {
    IndexLineFields line;
    BasePairing::Lookup lookup;
    std::string keyScratch;
  };
  // How many lines are read ahead, and how many lines after its lookup
  // started a line's entry and then its key are loaded.
  static constexpr std::size_t window = 16;
  static constexpr std::size_t entryStep = 5;
  static constexpr std::size_t keyStep = 10;

  // Packs the lines of `scanner` whose members are paired by `pairing`,
  // each key's lookup taken a few lines ahead.
  void packPaired(IndexLineScanner& scanner, const BasePairing& pairing);
  // Packs one line and adds its member; `lookup` as Stretch::add takes it.
  void packLine(const IndexLineFields& line, BasePairing::Lookup* lookup);

  const TextReading& text_;
  FileIndex::TextMembers::Stretch& members_;
  bool showProgress_;
  std::size_t packed_;
  StretchTotals totals_;
  LineAhead ahead_[window];
};

void StretchPacker::pack(IndexLineScanner& scanner) {
  if (members_.pairing() != nullptr) {
    packPaired(scanner, *members_.pairing());
    return;
  }
  IndexLineFields line;
  while (scanner.next(line)) packLine(line, nullptr);
}

void StretchPacker::packPaired(IndexLineScanner& scanner, const BasePairing& pairing) {
  // Counts of lines from the start of this call: read (lookup started),
  // entry loads started, key loads started, packed.
  std::size_t read = 0;
  std::size_t entries = 0;
  std::size_t keys = 0;
  std::size_t packedLines = 0;
  bool more = true;
  while (true) {
    if (more && read - packedLines < window) {
      LineAhead& next = ahead_[read % window];
      if (scanner.next(next.line)) {
        const std::string_view name(reinterpret_cast<const char*>(text_.bytes + next.line.nameStart),
                                    next.line.nameLength);
        next.lookup = pairing.startLookup(keyOfName(name, next.keyScratch));
        ++read;
        for (; entries + entryStep < read; ++entries) pairing.loadEntry(ahead_[entries % window].lookup);
        for (; keys + keyStep < read; ++keys) pairing.loadKey(ahead_[keys % window].lookup);
        continue;
      }
      more = false;
    }
    if (packedLines == read) return;
    // The oldest line is packed once the window is full or no line is left.
    for (; entries <= packedLines; ++entries) pairing.loadEntry(ahead_[entries % window].lookup);
    for (; keys <= packedLines; ++keys) pairing.loadKey(ahead_[keys % window].lookup);
    LineAhead& oldest = ahead_[packedLines % window];
    packLine(oldest.line, &oldest.lookup);
    ++packedLines;
  }
}

void StretchPacker::packLine(const IndexLineFields& line, BasePairing::Lookup* lookup) {
  unsigned char* bytes = text_.bytes;
  const std::int64_t time =
      text_.oldFormat
          ? probeOldTime(std::string(reinterpret_cast<const char*>(bytes + line.nameStart),
                                     line.nameLength),
                         text_.dataPath, totals_.bytes, static_cast<std::uint32_t>(line.size))
          : line.time;
  // A packed member never reaches past its own line: the name and the
  // digest stood there apart by at least three spaces.
  const std::size_t name = packed_;
  std::memmove(bytes + packed_, bytes + line.nameStart, line.nameLength);
  packed_ += line.nameLength;
  bytes[packed_++] = '\0';
  if (line.hasDigest) {
    std::memmove(bytes + packed_, bytes + line.digestStart, indexDigestLength);
    packed_ += indexDigestLength;
    bytes[packed_++] = '\0';
  }
  const bool added =
      members_.add(static_cast<std::uint32_t>(name), static_cast<std::uint32_t>(line.nameLength),
                   line.size, time, totals_.bytes, line.hasDigest, lookup);
  totals_.bytes += static_cast<std::uint32_t>(line.size);
  if (showProgress_) advance(1, static_cast<std::uint32_t>(line.size));
  if (line.nameLength > totals_.longestLength) {
    totals_.longestStart = name;
    totals_.longestLength = line.nameLength;
  } else if (!added) {
    packed_ = name;  // the next member goes in its place
  }
}

// Reads the file's bytes from `read` to `end` (those from the packer's
// start to `read` are there already) piece by piece and packs the lines
// of each as it arrives: a piece goes right behind what is packed and the
// part of a line left over from the piece before, so that the bytes past
// the packed text are never written, and so cost no memory. False when the
// bytes cannot all be had.
bool packArriving(const RangeReader& reader, const TextReading& text, std::size_t read,
                  std::size_t end, StretchPacker& packer) {
  std::size_t pending = packer.packedEnd();  // the first byte not yet gathered
  std::size_t filled = read;                 // the end of the bytes there
  while (read < end) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(pieceLength, end - read));
    if (!reader.readQuietlyAt(text.bytes + filled, piece, read)) return false;
    read += piece;
    filled += piece;
    // Whole lines are gathered: up to the last line feed, or to the end.
    // Bytes before the new piece hold none.
    std::size_t linesEnd = filled;
    if (read < end) {
      std::size_t at = filled;
      while (at > filled - piece && text.bytes[at - 1] != '\n') --at;
      if (at == filled - piece) continue;
      linesEnd = at;
    }
    IndexLineScanner scanner(text.bytes, pending, linesEnd);
    packer.pack(scanner);
    const std::size_t leftOver = filled - linesEnd;
    std::memmove(text.bytes + packer.packedEnd(), text.bytes + linesEnd, leftOver);
    pending = packer.packedEnd();
    filled = pending + leftOver;
  }
  if (filled > pending) {
    IndexLineScanner scanner(text.bytes, pending, filled);
    packer.pack(scanner);
  }
  return true;
}

// The position behind the first line feed from `from` on in the file, or
// `length` when there is none; nothing when the bytes cannot be had.
std::optional<std::size_t> lineStartFrom(const RangeReader& reader, std::size_t from,
                                         std::size_t length) {
  std::vector<unsigned char> piece(pieceLength);
  while (from < length) {
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(pieceLength, length - from));
    if (!reader.readQuietlyAt(piece.data(), count, from)) return std::nullopt;
    const void* feed = std::memchr(piece.data(), '\n', count);
    if (feed != nullptr) return from + static_cast<std::size_t>(static_cast<const unsigned char*>(feed) - piece.data()) + 1;
    from += count;
  }
  return length;
}

// About how many lines `bytes` bytes of a text hold whose first `sampled`
// bytes hold `feeds` line feeds, erring on the high side.
std::size_t linesExpected(std::size_t bytes, std::size_t feeds, std::size_t sampled) {
  const std::size_t lines = static_cast<std::size_t>(static_cast<double>(bytes) *
                                                     static_cast<double>(feeds + 1) /
                                                     static_cast<double>(sampled));
  return lines + lines / 32 + 16;
}

// The room kept behind `members` entries for entries added later (the
// deletion markers of a diff, a few files of a later input), which then fit
// without moving every entry: that would hold the old and the new storage
// at once. Room never used is never touched, and costs no memory.
std::size_t spareRoomFor(std::size_t members) { return members / 8; }

// Prints the first of the longest names.
void reportLongest(const TextReading& text, const StretchTotals& first, const StretchTotals& second) {
  const StretchTotals& longest = second.longestLength > first.longestLength ? second : first;
  printOut("Done - Max filename size: %d, filename: %s\n", static_cast<int>(longest.longestLength),
           longest.longestLength == 0 ? ""
                                      : reinterpret_cast<const char*>(text.bytes + longest.longestStart));
}

// Reads a whole text that is there already, in one stretch.
void readWholeText(FileIndex& index, const FileIndex::TextSource& source, const TextReading& text,
                   std::size_t lines, const KeyScreen* screen, BasePairing* pairing) {
  FileIndex::TextMembers members(source, {lines}, spareRoomFor(lines));
  if (screen != nullptr) members.stretch(0).screenWith(screen->twin());
  if (pairing != nullptr) members.stretch(0).pairWith(pairing, pairing->nextCatalog());
  IndexLineScanner scanner(text.bytes, text.length, text.oldFormat);
  StretchPacker packer(text, 0, members.stretch(0), true);
  packer.pack(scanner);
  index.addMembers(std::move(members), {0});
  reportLongest(text, packer.totals(), StretchTotals());
}

// Reads a long current-format text whose first `sampled` bytes are there,
// piece by piece as it arrives: in two stretches side by side, cut behind
// the first line feed from its middle on, where there are two threads.
bool readArriving(FileIndex& index, const RangeReader& reader, const FileIndex::TextSource& source,
                  const TextReading& text, std::size_t sampled, const KeyScreen* screen,
                  BasePairing* pairing) {
  const std::size_t length = text.length;
  std::size_t cut = length;
  if (helperThreadCount() > 0) {
    const std::optional<std::size_t> middle = lineStartFrom(reader, length / 2, length);
    if (!middle) {
      reader.reportReadFailure();
      return false;
    }
    cut = *middle;
  }
  const std::size_t feeds = countLineFeeds(text.bytes, sampled);
  const std::size_t firstLines = linesExpected(cut, feeds, sampled);
  const std::size_t laterLines = cut == length ? 0 : linesExpected(length - cut, feeds, sampled);
  FileIndex::TextMembers members(source, {firstLines, laterLines},
                                 spareRoomFor(firstLines + laterLines));
  if (screen != nullptr) {
    members.stretch(0).screenWith(screen->twin());
    members.stretch(1).screenWith(screen->twin());
  }
  if (pairing != nullptr) {
    const std::uint32_t first = pairing->nextCatalog();
    members.stretch(0).pairWith(pairing, first);
    members.stretch(1).pairWith(pairing, first + 1);
  }
  StretchPacker first(text, 0, members.stretch(0), true);
  StretchPacker later(text, cut, members.stretch(1), false);
  bool firstRead = false;
  bool laterRead = true;
  {
    const HelperThreads helper(cut == length ? 0 : 1, [&] {
      laterRead = packArriving(reader, text, cut, length, later);
    });
    firstRead = packArriving(reader, text, sampled, cut, first);
  }
  if (!firstRead || !laterRead) {
    reader.reportReadFailure();
    return false;
  }
  advance(members.stretch(1).count(), later.totals().bytes);
  index.addMembers(std::move(members), {0, first.totals().bytes});
  reportLongest(text, first.totals(), later.totals());
  return true;
}

}  // namespace

bool readCatalog(FileIndex& index, const std::string& base, const KeyScreen* screen,
                 BasePairing* pairing) {
  printOut("Reading from catalog %s\n", base.c_str());
  const ProgressPhase phase("Reading catalog", unknownTotal, unknownTotal);
  std::optional<FileRoom> file = openFileRoom(base + ".cat");
  if (!file) return false;
  const std::size_t length = file->room.size();
  // A long text is told apart by its first piece; a short one is read whole.
  const std::size_t sampled = length >= streamedLength ? pieceLength : length;
  std::size_t feeds = 0;
  if (sampled == length) {
    if (!file->reader.read(file->room.data(), file->room.size(), &feeds)) return false;
  } else if (!file->reader.readQuietlyAt(file->room.data(), static_cast<std::uint32_t>(sampled), 0)) {
    file->reader.reportReadFailure();
    return false;
  }
  const bool oldFormat = isOldCatalogText(file->room.data(), sampled);
  if (oldFormat && sampled != length &&
      !file->reader.readQuietlyAt(file->room.data() + sampled,
                                  static_cast<std::uint32_t>(length - sampled), sampled)) {
    file->reader.reportReadFailure();
    return false;
  }
  if (oldFormat) scrambleIndexText(file->room.data(), file->room.size(), 0);

  // The index keeps the text; names and digests are used where they stand.
  const FileIndex::TextSource source = index.adoptCatalogText(base, std::move(file->room), oldFormat);
  const TextReading text{source.bytes, length, oldFormat, base + ".dat"};
  if (!oldFormat && sampled != length) {
    return readArriving(index, file->reader, source, text, sampled, screen, pairing);
  }
  // The old format's line feeds are only known once it is unscrambled; its
  // times are probed in the data file member by member, so it is read in
  // one stretch, and unscreened.
  readWholeText(index, source, text, (oldFormat ? countLineFeeds(text.bytes, length) : feeds) + 1,
                oldFormat ? nullptr : screen, pairing);
  return true;
}

bool isOldCatalog(const std::string& base) {
  std::optional<ByteBuffer> text = loadFile(base + ".cat");
  return text && isOldCatalogText(text->data(), text->size());
}

}  // namespace catpack
