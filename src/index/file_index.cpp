#include "index/file_index.h"

#include <cstring>
#include <ostream>
#include <utility>

#include "index/key_text.h"

namespace catpack {

namespace {

ByteBuffer copyOf(const ByteBuffer& buffer) {
  ByteBuffer copy = ByteBuffer::allocate(buffer.size());
  if (buffer.size() != 0) std::memcpy(copy.data(), buffer.data(), buffer.size());
  return copy;
}

}  // namespace

std::ostream& operator<<(std::ostream& stream, EntryText text) {
  return stream << std::string_view(text);
}

FileIndex::FileIndex(const FileIndex& other)
    : entries_(other.entries_),
      wideTimes_(other.wideTimes_),
      erased_(other.erased_),
      order_(other.order_),
      settledUpTo_(other.settledUpTo_),
      liveCount_(other.liveCount_),
      lastSegment_(other.lastSegment_),
      namesMayHoldNul_(other.namesMayHoldNul_),
      longestNameAdded_(other.longestNameAdded_),
      mayLackDigests_(other.mayLackDigests_),
      knownToPass_(other.knownToPass_) {
  segments_.reserve(other.segments_.size());
  for (const Segment& segment : other.segments_) {
    segments_.push_back({segment.path, segment.kind, segment.scrambled, copyOf(segment.text),
                         segment.arena});
  }
}

FileIndex& FileIndex::operator=(const FileIndex& other) {
  if (this != &other) {
    FileIndex copy(other);
    swap(copy);
  }
  return *this;
}

void FileIndex::swap(FileIndex& other) noexcept {
  segments_.swap(other.segments_);
  entries_.swap(other.entries_);
  wideTimes_.swap(other.wideTimes_);
  erased_.swap(other.erased_);
  order_.swap(other.order_);
  std::swap(settledUpTo_, other.settledUpTo_);
  std::swap(liveCount_, other.liveCount_);
  std::swap(lastSegment_, other.lastSegment_);
  std::swap(namesMayHoldNul_, other.namesMayHoldNul_);
  std::swap(longestNameAdded_, other.longestNameAdded_);
  std::swap(mayLackDigests_, other.mayLackDigests_);
  std::swap(knownToPass_, other.knownToPass_);
}

void FileIndex::clear() {
  FileIndex empty;
  swap(empty);
}

bool FileIndex::addFolderFile(const std::string& name, std::int32_t size, std::int64_t time,
                              const std::string& folder) {
  appendCopy(SourceKind::folder, folder, false, name, keyFor(name), size, time, 0, {});
  return true;
}

bool FileIndex::addCatalogMember(const std::string& name, std::int32_t size, std::int64_t time,
                                 const std::string& catalog, std::uint64_t offset,
                                 const std::string& digest, bool scrambled) {
  appendCopy(SourceKind::catalog, catalog, scrambled, name, keyFor(name), size, time, offset,
             digest);
  return true;
}

bool FileIndex::addDeletion(std::string_view name) {
  appendCopy(SourceKind::none, std::string(), false, name, keyFor(name), 0, 0, 0, {});
  return true;
}

void FileIndex::insertIfAbsent(std::string_view key, const EntryView& entry) {
  if (find(key)) return;
  const SourceKind kind = entry.inCatalog      ? SourceKind::catalog
                          : !entry.folder.empty() ? SourceKind::folder
                                                  : SourceKind::none;
  const std::string path(kind == SourceKind::catalog ? entry.catalog : entry.folder);
  appendCopy(kind, path, entry.scrambled, entry.name, key, entry.size, entry.time, entry.offset,
             entry.digest);
}

}  // namespace catpack
