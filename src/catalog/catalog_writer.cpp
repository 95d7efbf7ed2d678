#include "catalog/catalog_writer.h"

#include <deque>
#include <optional>

#include "catalog/catalog_format.h"
#include "catalog/catalog_output.h"
#include "catalog/format_guard.h"
#include "catalog/index_lines.h"
#include "catalog/piece_hashing.h"
#include "digest/md5.h"
#include "index/entry_content.h"
#include "index/index_totals.h"
#include "util/console.h"
#include "util/file_status.h"
#include "util/loading.h"
#include "util/progress.h"
#include "util/text.h"

namespace catpack {

namespace {

// True when the sizes the existing index lists add up to its data file's
// length, so that appended members land at the offsets their lines imply.
// `text` is the existing index as loaded, or nothing when it could not be.
bool isConsistentForAppending(const std::optional<ByteBuffer>& text, const std::string& base,
                              bool oldFormat) {
  std::uint64_t listed = 0;
  if (text) {
    std::string plain(reinterpret_cast<const char*>(text->data()), text->size());
    unsigned char* bytes = reinterpret_cast<unsigned char*>(plain.data());
    if (oldFormat) scrambleIndexText(bytes, plain.size(), 0);
    forEachIndexLine(bytes, plain.size(), oldFormat,
                     [&](const IndexLine& line) { listed += static_cast<std::uint32_t>(line.size); });
  } else if (fileSize(base + ".cat") != -1) {
    loadFile(base + ".cat");  // an index that is there but cannot be read is reported again
    return false;
  }
  platform::PathStatus data;
  const std::uint64_t dataSize = platform::queryPathStatus(base + ".dat", data) ? data.size : 0;
  return listed == dataSize && !data.isFolder;
}

// Whether the stored index text ends in the middle of a line.
bool endsWithinLine(const ByteBuffer& text, bool oldFormat) {
  if (text.size() == 0) return false;
  unsigned char last = text.data()[text.size() - 1];
  if (oldFormat) scrambleIndexText(&last, 1, text.size() - 1);
  return last != '\n' && last != '\r';
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

// Writes the members of one run into a catalog's two files. Each member's
// bytes are copied in key order by the calling thread, and hashed (where
// the line needs a digest) by helper threads from the very buffers that
// were written; each line follows as soon as its digest is known, in order.
// Small members are gathered instead, side by side in a piece: any free
// thread reads and hashes a gathered piece's members without a message,
// while the calling thread gathers the next ones, and the calling thread
// then writes the piece with one call, in key order. A member that could
// not be read so is copied again on its own, after the bytes before it,
// and only then is its failure told; so a write that fails stops the run
// before anything about a later member is told, as when each member is
// copied on its own.
// How many lines may wait for their digests while the writer copies on
// through its own buffer: bounds the memory they hold.
constexpr std::size_t linesAheadOfDigests = 1024;
// Members of this size or more are copied by the file system, this many
// bytes at a time.
constexpr std::int64_t copiedMemberSize = 4 << 20;
constexpr std::uint32_t copyStep = 8u << 20;
// Pieces of gathered members handed over at once, fewer than there are
// pieces, so that one is always left for the next.
constexpr std::size_t gatheredPiecesAhead = 4;

class MemberWriter {
 public:
  MemberWriter(CatalogOutput& output, bool oldFormat, std::uint64_t indexPosition,
               const FormatGuard& guard, bool lineBreakFirst, unsigned helpers,
               std::uint64_t largestMember)
      : output_(output),
        oldFormat_(oldFormat),
        indexPosition_(indexPosition),
        guard_(guard),
        lineBreakFirst_(lineBreakFirst),
        hashing_(helpers, largestMember) {}

  // The data files of the members' catalogs, held open for the whole write.
  OpenFiles& heldFiles() { return held_; }

  // Writes one entry, or gathers it to be written soon; false only when a
  // file write failed. An entry that cannot be named or read is left out of
  // both files.
  bool write(const EntryView& entry);

  // Writes a line that no member stands for (the old format's first line).
  bool writeLine(const std::string& plain) { return addLine(stored(plain)); }

  // Writes the gathered members and the lines still waiting for their
  // digests and ends the helpers; false when a write failed.
  bool finish();

  // Ends the helpers, also when finish() was not called.
  void stopHashing() { hashing_.stop(); }

 private:
  // A current-format line whose member's bytes are in the data file.
  struct PendingLine {
    EntryView entry;  // its texts stay where the index holds them
    std::uint64_t memberStart;        // where its bytes begin in this run's data
    std::string digest;               // known already, or
    PieceHashing::Member* hashed;     // being worked out
  };

  // A small member gathered in a piece, at `offset`.
  struct GatheredMember {
    EntryView entry;
    std::uint32_t offset;
    bool hashed;          // its line needs the digest of its bytes
    bool read = false;    // its bytes are in the piece (set by readGathered)
    std::string digest;   // of its bytes, when hashed and read
  };
  // A piece of gathered members, handed over (`aside`) once full.
  struct GatheredPiece {
    unsigned char* piece = nullptr;
    std::uint32_t bytes = 0;
    std::vector<GatheredMember> members;
    bool handedOver = false;
    PieceHashing::AsideWork aside;
  };

  // Whether the entry can be gathered: small, with a name that is written,
  // and a line that the guard accepts whatever it holds.
  bool canGather(const EntryView& entry) const;
  // Adds the entry to the piece being gathered; false when writing the
  // members gathered before failed.
  bool gather(const EntryView& entry);
  void handOver(GatheredPiece& gathered);
  // Reads and hashes the members of `gathered`, on any thread, without a
  // message.
  void readGathered(GatheredPiece& gathered) const;
  // Writes the oldest gathered piece's members and their lines, copying
  // those that could not be read on their own; false when a write failed.
  bool writeOldestGathered();
  bool writeAllGathered();
  // Writes one entry's bytes and line on its own, as write() describes.
  bool writeAlone(const EntryView& entry);
  // `plain` as it is written: after a pending line break, and scrambled at
  // its place in the old format.
  std::string stored(const std::string& plain) const;
  bool addLine(const std::string& storedLine);
  bool refuse(const EntryView& entry) const {
    printErr("Illegal file name %s\n", entry.name.c_str());
    return true;
  }
  // Refuses a line known to be refused before the member's bytes were
  // loaded, once they are: only read through, nothing of them written, so
  // that a member that cannot be loaded gets the loader's message alone.
  bool refuseOnceLoaded(const EntryView& entry);
  // Copies the member's bytes to the data file, handing them to `hashed`
  // when set; false when the source failed (the bytes are cut back out)
  // or, with `written` false, when writing failed.
  bool copyBytes(const EntryView& entry, PieceHashing::Member* hashed, bool& written);
  // A buffer for the next bytes to copy: a free piece, or else this
  // writer's own buffer when the bytes are not hashed or a helper can read
  // them back from the data file; else waits for a piece.
  unsigned char* bufferFor(bool hashed);
  // Whether bytes written can be read back for hashing; tried once.
  bool canReadBack();
  // Writes the waiting lines whose digests are known, in order; all of
  // them, waiting as needed, with `all`.
  bool writeReadyLines(bool all);

  CatalogOutput& output_;
  bool oldFormat_;
  std::uint64_t indexPosition_;
  FormatGuard guard_;
  bool lineBreakFirst_;  // the index ends within a line: the next line starts on one of its own
  OpenFiles held_;
  // In key order; all but the last handed over. Kept until the helpers have
  // stopped, as they may still be reading into them.
  std::deque<GatheredPiece> gathered_;
  PieceHashing hashing_;
  std::unique_ptr<unsigned char[]> ownBuffer_;
  bool readBackTried_ = false;
  bool readingBack_ = false;
  std::deque<PendingLine> pending_;
};

std::string MemberWriter::stored(const std::string& plain) const {
  std::string text = lineBreakFirst_ ? "\n" + plain : plain;
  if (oldFormat_) {
    scrambleIndexText(reinterpret_cast<unsigned char*>(text.data()), text.size(), indexPosition_);
  }
  return text;
}

bool MemberWriter::addLine(const std::string& storedLine) {
  guard_.add(storedLine);
  indexPosition_ += storedLine.size();
  lineBreakFirst_ = false;
  return output_.writeIndex(storedLine);
}

unsigned char* MemberWriter::bufferFor(bool hashed) {
  // Bytes nobody hashes need no piece; nor do those that can be read back
  // by a helper while this thread goes on, as long as it is not too many
  // lines ahead of the digests. Alone, this thread rather hashes the
  // waiting pieces itself than read bytes back later.
  unsigned char* piece = hashing_.takePiece(false);
  if (piece != nullptr) return piece;
  if (hashed && (!hashing_.hasHelpers() || pending_.size() >= linesAheadOfDigests || !canReadBack())) {
    return hashing_.takePiece(true);
  }
  if (!ownBuffer_) ownBuffer_.reset(new unsigned char[hashing_.pieceBytes()]);
  return ownBuffer_.get();
}

bool MemberWriter::canReadBack() {
  if (!readBackTried_) {
    readBackTried_ = true;
    if (output_.openForReadingBack()) {
      hashing_.readBackWith([this](std::uint64_t at, unsigned char* into, std::uint32_t count) {
        return output_.readData(at, into, count);
      });
      readingBack_ = true;
    }
  }
  return readingBack_;
}

bool MemberWriter::copyBytes(const EntryView& entry, PieceHashing::Member* hashed, bool& written) {
  written = true;
  const std::uint64_t memberStart = output_.dataSize();
  std::optional<RangeReader> source = openStoredBytes(entry, &held_);
  bool read = source.has_value();
  // Large members the file system copies itself, the digest read back from
  // the data file: their bytes pass through this process once, not three
  // times. What it cannot copy is read and written as any other member.
  bool copying = read && entry.size >= copiedMemberSize && entry.scrambled == oldFormat_ &&
                 (hashed == nullptr || (pending_.size() < linesAheadOfDigests && canReadBack()));
  while (read && written && source->remaining() > 0) {
    if (copying) {
      const std::uint64_t at = output_.dataSize();
      const std::uint32_t copied = output_.copyData(*source, std::min(source->remaining(), copyStep));
      copying = copied != 0;
      advance(0, copied);
      if (copied != 0 && hashed != nullptr) hashing_.hashWritten(hashed, at, copied);
      continue;
    }
    const std::uint32_t count = std::min(source->remaining(), hashing_.pieceBytes());
    const std::uint64_t at = output_.dataSize();
    unsigned char* piece = bufferFor(hashed != nullptr);
    const bool ownBuffer = piece == ownBuffer_.get();
    read = source->read(piece, count);
    if (read && entry.scrambled != oldFormat_) xorBytes(piece, count, dataKey);
    written = read && output_.writeData(piece, count);
    advance(0, count);
    if (written && hashed != nullptr) {
      if (ownBuffer) {
        hashing_.hashWritten(hashed, at, count);
      } else {
        hashing_.hashPiece(hashed, piece, count);
      }
    } else if (!ownBuffer) {
      hashing_.givePieceBack(piece);
    }
  }
  if (read && written) return true;
  if (hashed != nullptr) hashing_.dropMember(hashed);
  if (!read && source) written = output_.cutDataBack(memberStart);
  return false;
}

bool MemberWriter::refuseOnceLoaded(const EntryView& entry) {
  if (entry.size != 0) {
    std::optional<RangeReader> source = openStoredBytes(entry, &held_);
    if (!source) return true;
    const StreamOutcome outcome =
        streamBytes(*source, false, [](const unsigned char*, std::uint32_t count) {
          advance(0, count);
          return true;
        });
    if (outcome != StreamOutcome::complete) return true;
  }
  return refuse(entry);
}

bool MemberWriter::canGather(const EntryView& entry) const {
  return guard_.settled() && entry.size >= 0 &&
         static_cast<std::uint32_t>(entry.size) < hashing_.pieceBytes() / 4 &&
         !isIllegalName(entry.name, oldFormat_);
}

bool MemberWriter::write(const EntryView& entry) {
  if (canGather(entry)) return gather(entry);
  // Everything gathered before is written, and told, first.
  return writeAllGathered() && writeAlone(entry);
}

bool MemberWriter::gather(const EntryView& entry) {
  const auto size = static_cast<std::uint32_t>(entry.size);
  if (!gathered_.empty() && !gathered_.back().handedOver &&
      hashing_.pieceBytes() - gathered_.back().bytes < size) {
    handOver(gathered_.back());
  }
  if (gathered_.empty() || gathered_.back().handedOver) {
    if (gathered_.size() >= gatheredPiecesAhead && !writeOldestGathered()) return false;
    gathered_.emplace_back().piece = hashing_.takePiece(true);
  }
  GatheredPiece& gathered = gathered_.back();
  // A known digest is not computed again.
  const bool hashed = !oldFormat_ && size != 0 && entry.digest.empty();
  gathered.members.push_back({entry, gathered.bytes, hashed, false, {}});
  gathered.bytes += size;
  return true;
}

void MemberWriter::handOver(GatheredPiece& gathered) {
  gathered.handedOver = true;
  gathered.aside.work = [this, &gathered] { readGathered(gathered); };
  hashing_.runAside(gathered.aside);
}

void MemberWriter::readGathered(GatheredPiece& gathered) const {
  for (GatheredMember& member : gathered.members) {
    const auto size = static_cast<std::uint32_t>(member.entry.size);
    if (size == 0) {
      member.read = true;
      continue;
    }
    unsigned char* bytes = gathered.piece + member.offset;
    std::optional<RangeReader> source = openStoredBytesQuietly(member.entry, &held_);
    member.read = source && source->readQuietly(bytes, size);
    if (!member.read) continue;
    if (member.entry.scrambled != oldFormat_) xorBytes(bytes, size, dataKey);
    if (member.hashed) member.digest = md5HexOfBuffer(bytes, size);
  }
}

bool MemberWriter::writeOldestGathered() {
  GatheredPiece& gathered = gathered_.front();
  if (!gathered.handedOver) handOver(gathered);
  hashing_.waitFor(gathered.aside);
  // Read members lie side by side from `unwritten` on, up to the next one
  // that could not be read.
  std::uint32_t unwritten = 0;
  const auto writeUpTo = [&](std::uint32_t end) {
    const bool written =
        end == unwritten || output_.writeData(gathered.piece + unwritten, end - unwritten);
    unwritten = end;
    return written;
  };
  bool written = true;
  for (const GatheredMember& member : gathered.members) {
    const auto size = static_cast<std::uint32_t>(member.entry.size);
    const EntryView& entry = member.entry;
    if (!member.read) {
      written = writeUpTo(member.offset) && writeAlone(entry);
      unwritten = member.offset + size;
    } else if (oldFormat_) {
      advance(0, size);
      written = addLine(stored(formatText("%s %d\n", entry.name.c_str(), entry.size)));
    } else {
      advance(0, size);
      const std::uint64_t memberStart = output_.dataSize() + (member.offset - unwritten);
      const std::string digest =
          member.hashed ? member.digest : size == 0 ? zeroDigest() : std::string(entry.digest);
      pending_.push_back({entry, memberStart, digest, nullptr});
    }
    if (!written) break;
  }
  written = written && writeUpTo(gathered.bytes) && writeReadyLines(false);
  hashing_.givePieceBack(gathered.piece);
  gathered_.pop_front();
  return written;
}

bool MemberWriter::writeAllGathered() {
  while (!gathered_.empty()) {
    if (!writeOldestGathered()) return false;
  }
  return true;
}

bool MemberWriter::writeAlone(const EntryView& entry) {
  // A line is judged only once the member's bytes were loaded.
  if (oldFormat_) {
    // An old-format line does not depend on the bytes: whether it is
    // refused is known before they are loaded.
    const std::string line = stored(formatText("%s %d\n", entry.name.c_str(), entry.size));
    if (isIllegalName(entry.name, true) || !guard_.accepts(line)) return refuseOnceLoaded(entry);
    bool written = true;
    if (entry.size != 0 && !copyBytes(entry, nullptr, written)) return written;
    return addLine(line);
  }
  if (isIllegalName(entry.name, false)) return refuseOnceLoaded(entry);
  // A known digest is not computed again.
  PendingLine line{entry, output_.dataSize(), entry.size == 0 ? zeroDigest() : entry.digest,
                   nullptr};
  if (line.digest.empty()) line.hashed = hashing_.beginMember();
  bool written = true;
  if (entry.size != 0 && !copyBytes(entry, line.hashed, written)) return written;
  if (line.hashed != nullptr) hashing_.endMember(line.hashed);
  // A line whose start already decides the index's format is accepted
  // whatever its digest: the next member need not wait for it.
  if (!guard_.settled()) {
    guard_.settlesWith(stored(formatText("%s %d %d ", entry.name.c_str(), entry.size,
                                         static_cast<std::int32_t>(entry.time))));
  }
  pending_.push_back(std::move(line));
  // While the guard still judges lines, one may be refused and its bytes
  // cut back out: only the last member's bytes can be, so each line is
  // settled before the next member is copied.
  return writeReadyLines(!guard_.settled());
}

bool MemberWriter::writeReadyLines(bool all) {
  while (!pending_.empty()) {
    PendingLine& line = pending_.front();
    if (line.hashed != nullptr) {
      if (!all && !hashing_.isReady(line.hashed)) return true;
      line.digest = hashing_.takeDigest(line.hashed);
      if (line.digest.empty()) return false;  // its bytes could not be read back
    }
    const EntryView& entry = line.entry;
    const std::string text =
        stored(formatText("%s %d %d %s\n", entry.name.c_str(), entry.size,
                          static_cast<std::int32_t>(entry.time), line.digest.c_str()));
    const std::uint64_t memberStart = line.memberStart;
    pending_.pop_front();
    if (!guard_.accepts(text)) {
      if (!output_.cutDataBack(memberStart)) return false;
      refuse(entry);
      continue;
    }
    if (!addLine(text)) return false;
  }
  return true;
}

bool MemberWriter::finish() {
  // The last bytes go to the disk while the last digests are worked out.
  bool written = writeAllGathered();
  if (written) output_.startWritingBack();
  written = written && writeReadyLines(true);
  hashing_.stop();
  return written;
}

}  // namespace

bool writeCatalog(const FileIndex& index, const std::string& base, bool append, bool oldFormat,
                  unsigned helpers) {
  CatalogOutput output(base);
  if (!output.lock()) return false;
  bool outputOld = oldFormat;
  std::uint64_t indexPosition = 0;
  std::optional<ByteBuffer> existing;
  if (append) {
    existing = loadFile(base + ".cat");
    outputOld = existing && isOldCatalogText(existing->data(), existing->size());
    if (outputOld) indexPosition = existing->size();
    if (!isConsistentForAppending(existing, base, outputOld)) {
      printErr("Catalog %s is inconsistent, not appending\n", base.c_str());
      return false;
    }
    if (!output.openForAppending()) return false;
  } else if (!output.openNew()) {
    return false;
  }

  const bool lineBreakFirst = existing && endsWithinLine(*existing, outputOld);
  const FormatGuard guard(outputOld, existing ? existing->data() : nullptr,
                          existing ? existing->size() : 0);
  MemberWriter writer(output, outputOld, indexPosition, guard, lineBreakFirst, helpers,
                      largestContent(index));
  existing.reset();
  holdCatalogDataOpen(index, writer.heldFiles());
  bool written = !outputOld || append || writer.writeLine("foo.dat\n");
  const ProgressPhase phase("Writing catalog", index.size(), contentBytes(index));
  for (auto entry = index.begin(); written && entry != index.end(); ++entry) {
    written = writer.write(entry->entry);
    advance(1, 0);
  }
  written = written && writer.finish();
  writer.stopHashing();  // nothing reads the data file back from here on
  writer.heldFiles().closeAll();
  if (!written || !output.commit()) {
    output.abandon();
    printErr("Failed writing catalog %s\n", base.c_str());
    return false;
  }
  return true;
}

}  // namespace catpack
