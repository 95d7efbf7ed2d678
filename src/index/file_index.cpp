#include "index/file_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <ostream>

#include "index/key_order.h"

namespace catpack {

namespace {

// Offsets within a segment are 32 bits wide; NUL bytes and prefixes included.
constexpr std::uint64_t segmentCapacity = std::numeric_limits<std::uint32_t>::max() - 1;
constexpr std::size_t digestLength = 32;

bool hasCapital(std::string_view text) {
  // Eight bytes at a time: a byte is a capital when its high bit is clear
  // and its low seven bits are at least 'A' and at most 'Z'.
  constexpr std::uint64_t highBits = 0x8080808080808080u;
  constexpr std::uint64_t lowBits = 0x7F7F7F7F7F7F7F7Fu;
  constexpr std::uint64_t toReachA = 0x3F3F3F3F3F3F3F3Fu;       // 0x80 - 'A' in each byte
  constexpr std::uint64_t toPassZ = 0x2525252525252525u;        // 0x80 - 'Z' - 1 in each byte
  std::size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    const std::uint64_t low = word & lowBits;
    if (((low + toReachA) & ~(low + toPassZ) & ~word & highBits) != 0) return true;
  }
  for (; at < text.size(); ++at) {
    if (text[at] >= 'A' && text[at] <= 'Z') return true;
  }
  return false;
}

// The key of `name`: the name itself, or its lower-cased copy in `scratch`.
std::string_view keyOfName(std::string_view name, std::string& scratch) {
  if (!hasCapital(name)) return name;
  scratch.assign(name);
  for (char& byte : scratch) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return scratch;
}

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
      erased_(other.erased_),
      order_(other.order_),
      settledUpTo_(other.settledUpTo_),
      liveCount_(other.liveCount_),
      lastSegment_(other.lastSegment_),
      namesMayHoldNul_(other.namesMayHoldNul_),
      longestNameAdded_(other.longestNameAdded_),
      mayLackDigests_(other.mayLackDigests_) {
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
  erased_.swap(other.erased_);
  order_.swap(other.order_);
  std::swap(settledUpTo_, other.settledUpTo_);
  std::swap(liveCount_, other.liveCount_);
  std::swap(lastSegment_, other.lastSegment_);
  std::swap(namesMayHoldNul_, other.namesMayHoldNul_);
  std::swap(longestNameAdded_, other.longestNameAdded_);
  std::swap(mayLackDigests_, other.mayLackDigests_);
}

void FileIndex::clear() {
  FileIndex empty;
  swap(empty);
}

std::uint32_t FileIndex::segmentFor(SourceKind kind, const std::string& path, bool scrambled,
                                    std::size_t bytesNeeded) {
  const auto takes = [&](const Segment& segment) {
    return segment.kind == kind && segment.scrambled == scrambled && segment.path == path &&
           segment.used() + bytesNeeded <= segmentCapacity;
  };
  if (lastSegment_ < segments_.size() && takes(segments_[lastSegment_])) return lastSegment_;
  for (std::size_t at = segments_.size(); at-- > 0;) {
    if (takes(segments_[at])) return lastSegment_ = static_cast<std::uint32_t>(at);
  }
  Segment segment;
  segment.path = path;
  segment.kind = kind;
  segment.scrambled = scrambled;
  segments_.push_back(std::move(segment));
  return lastSegment_ = static_cast<std::uint32_t>(segments_.size() - 1);
}

std::uint32_t FileIndex::appendTo(std::vector<char>& arena, std::uint64_t base,
                                  std::string_view text) {
  const auto offset = static_cast<std::uint32_t>(base + arena.size());
  arena.insert(arena.end(), text.begin(), text.end());
  arena.push_back('\0');
  return offset;
}

std::uint32_t FileIndex::appendText(std::uint32_t segment, std::string_view text) {
  Segment& target = segments_[segment];
  return appendTo(target.arena, target.text.size(), text);
}

std::string_view FileIndex::keyFor(std::string_view name) { return keyOfName(name, keyScratch_); }

void FileIndex::appendCopy(SourceKind kind, const std::string& path, bool scrambled,
                           std::string_view name, std::string_view key, std::int32_t size,
                           std::int64_t time, std::uint64_t offset, std::string_view digest) {
  const std::size_t needed = name.size() + key.size() + digest.size() + 8;
  const std::uint32_t segment = segmentFor(kind, path, scrambled, needed);
  StoredEntry entry{segment, 0, 0, static_cast<std::uint32_t>(name.size()), size, noDigest, time,
                    offset};
  entry.name = appendText(segment, name);
  if (name.find('\0') != std::string_view::npos) namesMayHoldNul_ = true;
  longestNameAdded_ = std::max(longestNameAdded_, name.size());
  entry.key = key == name ? entry.name : appendText(segment, key);
  if (digest.empty()) mayLackDigests_ = true;
  if (digest.size() == digestLength) {
    entry.digest = appendText(segment, digest);
  } else if (!digest.empty()) {
    const auto length = static_cast<std::uint32_t>(digest.size());
    char prefix[sizeof length];
    std::memcpy(prefix, &length, sizeof length);
    entry.digest = appendText(segment, std::string_view(prefix, sizeof prefix));
    std::vector<char>& arena = segments_[segment].arena;
    arena.pop_back();  // the digest follows its length directly
    arena.insert(arena.end(), digest.begin(), digest.end());
    arena.push_back('\0');
    entry.segment |= lengthPrefixedDigest;
  }
  entries_.push_back(entry);
  erased_.push_back(false);
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

FileIndex::TextSource FileIndex::adoptCatalogText(const std::string& base, ByteBuffer text,
                                                  bool scrambled) {
  Segment segment;
  segment.path = base;
  segment.kind = SourceKind::catalog;
  segment.scrambled = scrambled;
  segment.text = std::move(text);
  unsigned char* bytes = segment.text.data();
  const std::uint32_t size = segment.text.size();
  segments_.push_back(std::move(segment));
  return {static_cast<std::uint32_t>(segments_.size() - 1), bytes, size};
}

FileIndex::TextMembers::TextMembers(const TextSource& source, const std::vector<std::size_t>& room,
                                    std::size_t spare)
    : segment_(source.segment) {
  std::size_t total = 0;
  for (const std::size_t size : room) total += size;
  storage_.reserve(total + spare);
  storage_.resize(total);
  stretches_.resize(room.size());
  std::size_t begin = 0;
  for (std::size_t index = 0; index < room.size(); ++index) {
    Stretch& stretch = stretches_[index];
    stretch.source_ = source;
    stretch.room_ = storage_.data() + begin;
    stretch.roomSize_ = room[index];
    begin += room[index];
  }
}

void FileIndex::TextMembers::Stretch::add(std::uint32_t nameOffset, std::uint32_t nameLength,
                                          std::int32_t size, std::int64_t time,
                                          std::uint64_t offset, std::uint32_t digestOffset) {
  if (digestOffset == noDigest) mayLackDigests_ = true;
  if (nameLength > longestName_) longestName_ = nameLength;
  const std::string_view name(reinterpret_cast<const char*>(source_.bytes) + nameOffset, nameLength);
  const std::string_view key = keyOfName(name, keyScratch_);
  const std::uint32_t keyOffset = key.data() == name.data() ? nameOffset : copyIn(key);
  const StoredEntry entry{source_.segment, nameOffset, keyOffset, nameLength, size, digestOffset,
                          time, offset};
  if (inRoom_ < roomSize_) {
    room_[inRoom_++] = entry;
  } else {
    beyondRoom_.push_back(entry);
  }
}

std::uint32_t FileIndex::TextMembers::Stretch::copyIn(std::string_view text) {
  return appendTo(arena_, source_.size, text);
}

void FileIndex::addMembers(TextMembers&& members, const std::vector<std::uint64_t>& offsetShifts) {
  Segment& segment = segments_[members.segment_];
  const std::uint32_t textSize = segment.text.size();
  // The stretches close ranks in the storage; one whose room overflowed
  // makes the rest move behind its extra members.
  EntryStorage& storage = members.storage_;
  bool overflowed = false;
  for (const TextMembers::Stretch& stretch : members.stretches_) {
    overflowed = overflowed || !stretch.beyondRoom_.empty();
  }
  std::vector<std::size_t> begins;
  if (overflowed) {
    std::size_t total = 0;
    for (const TextMembers::Stretch& stretch : members.stretches_) total += stretch.count();
    EntryStorage joined;
    joined.reserve(total + (storage.capacity() - storage.size()));  // the room to spare too
    for (const TextMembers::Stretch& stretch : members.stretches_) {
      begins.push_back(joined.size());
      joined.insert(joined.end(), stretch.room_, stretch.room_ + stretch.inRoom_);
      joined.insert(joined.end(), stretch.beyondRoom_.begin(), stretch.beyondRoom_.end());
    }
    storage.swap(joined);
  } else {
    std::size_t placed = 0;
    for (const TextMembers::Stretch& stretch : members.stretches_) {
      begins.push_back(placed);
      if (stretch.room_ != storage.data() + placed) {
        std::memmove(storage.data() + placed, stretch.room_, stretch.inRoom_ * sizeof(StoredEntry));
      }
      placed += stretch.inRoom_;
    }
    storage.resize(placed);
  }
  // Each stretch's own texts go behind the segment's arena, and its
  // entries are moved on to match.
  for (std::size_t index = 0; index < members.stretches_.size(); ++index) {
    const TextMembers::Stretch& stretch = members.stretches_[index];
    const auto arenaShift = static_cast<std::uint32_t>(segment.arena.size());
    segment.arena.insert(segment.arena.end(), stretch.arena_.begin(), stretch.arena_.end());
    if (stretch.mayLackDigests_) mayLackDigests_ = true;
    longestNameAdded_ = std::max(longestNameAdded_, stretch.longestName_);
    const auto inSegment = [&](std::uint32_t offset) {
      return offset >= textSize && offset != noDigest ? offset + arenaShift : offset;
    };
    const std::uint64_t offsetShift = index < offsetShifts.size() ? offsetShifts[index] : 0;
    const std::size_t end = begins[index] + stretch.count();
    if (arenaShift == 0 && offsetShift == 0) continue;
    for (std::size_t at = begins[index]; at < end; ++at) {
      StoredEntry& entry = storage[at];
      entry.key = inSegment(entry.key);
      entry.digest = inSegment(entry.digest);
      entry.offset += offsetShift;
    }
  }
  if (entries_.empty()) {
    entries_.swap(storage);  // with the room to spare it was given
  } else {
    entries_.insert(entries_.end(), storage.begin(), storage.end());
  }
  erased_.resize(entries_.size(), false);
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

EntryText FileIndex::keyOf(const StoredEntry& entry) const {
  return {segments_[entry.segment & segmentMask].at(entry.key), entry.nameLength};
}

EntryText FileIndex::storedKey(std::size_t slot) const { return keyOf(entries_[slot]); }

IndexItem FileIndex::itemAt(std::uint32_t slot) const {
  const StoredEntry& stored = entries_[slot];
  const Segment& segment = segments_[stored.segment & segmentMask];
  IndexItem item;
  item.key = {segment.at(stored.key), stored.nameLength};
  EntryView& entry = item.entry;
  entry.name = {segment.at(stored.name), stored.nameLength};
  entry.size = stored.size;
  entry.time = stored.time;
  const EntryText path(segment.path.c_str(), segment.path.size());
  if (segment.kind == SourceKind::folder) entry.folder = path;
  if (segment.kind == SourceKind::catalog) {
    entry.inCatalog = true;
    entry.catalog = path;
  }
  entry.scrambled = segment.scrambled;
  entry.offset = stored.offset;
  if (stored.digest != noDigest) {
    const char* digest = segment.at(stored.digest);
    if ((stored.segment & lengthPrefixedDigest) != 0) {
      std::uint32_t length = 0;
      std::memcpy(&length, digest, sizeof length);
      entry.digest = {digest + sizeof length, length};
    } else {
      entry.digest = {digest, digestLength};
    }
  }
  return item;
}

void FileIndex::eraseStored(std::size_t slot) {
  if (erased_[slot]) return;
  erased_[slot] = true;
  if (slot < settledUpTo_) --liveCount_;
}

void FileIndex::settle() const {
  if (settledUpTo_ != entries_.size()) mergeNewEntries();
}

void FileIndex::mergeNewEntries() const {
  // Entries erased before they were settled take no part.
  std::size_t freshCount = 0;
  for (std::size_t slot = settledUpTo_; slot < entries_.size(); ++slot) freshCount += !erased_[slot];
  std::vector<std::uint32_t> fresh;
  fresh.reserve(freshCount);
  for (std::size_t slot = settledUpTo_; slot < entries_.size(); ++slot) {
    if (!erased_[slot]) fresh.push_back(static_cast<std::uint32_t>(slot));
  }
  struct Keys {
    const FileIndex& index;
    std::string_view key(std::uint32_t slot) const { return index.keyOf(slot); }
    void prefetchEntry(std::uint32_t slot) const { prefetch(&index.entries_[slot]); }
  };
  std::vector<std::uint32_t> replaced;
  sortSlotsByKey(fresh, Keys{*this}, replaced, helperThreadCount());
  for (const std::uint32_t slot : replaced) erased_[slot] = true;

  if (order_.empty()) {
    order_.swap(fresh);
    liveCount_ = order_.size();
    settledUpTo_ = entries_.size();
    return;
  }
  // Each fresh key goes where it belongs among the settled ones; a settled
  // entry of the same key is replaced.
  std::vector<std::uint32_t> merged;
  merged.reserve(liveCount_ + fresh.size());
  std::size_t settled = 0;
  const auto keep = [&](std::size_t until) {
    for (; settled < until; ++settled) {
      if (!erased_[order_[settled]]) merged.push_back(order_[settled]);
    }
  };
  for (const std::uint32_t slot : fresh) {
    const std::string_view key = keyOf(slot);
    // Galloping search: fresh keys often cluster.
    std::size_t low = settled;
    std::size_t step = 1;
    std::size_t high = settled;
    while (high < order_.size() && std::string_view(keyOf(order_[high])) < key) {
      low = high + 1;
      high += step;
      step *= 2;
    }
    if (high > order_.size()) high = order_.size();
    low = positionOf(key, low, high);
    keep(low);
    if (settled < order_.size() && std::string_view(keyOf(order_[settled])) == key) {
      if (!erased_[order_[settled]]) {
        erased_[order_[settled]] = true;
        --liveCount_;
      }
      ++settled;
    }
    merged.push_back(slot);
    ++liveCount_;
  }
  keep(order_.size());
  order_.swap(merged);
  settledUpTo_ = entries_.size();
}

std::size_t FileIndex::size() const {
  settle();
  return liveCount_;
}

std::size_t FileIndex::nextLive(std::size_t position) const {
  while (position < order_.size() && erased_[order_[position]]) ++position;
  return position;
}

FileIndex::iterator FileIndex::begin() const {
  settle();
  return iterator(this, nextLive(0));
}

FileIndex::iterator FileIndex::end() const {
  settle();
  return iterator(this, order_.size());
}

std::size_t FileIndex::walkLength() const {
  settle();
  return order_.size();
}

void FileIndex::prefetchWalk(std::size_t position) const {
  // A walk in key order visits entries and texts all over memory: their
  // loads are started a few steps ahead.
  constexpr std::size_t entryAhead = 64;
  constexpr std::size_t textAhead = 32;
  if (position + entryAhead < order_.size()) prefetch(&entries_[order_[position + entryAhead]]);
  if (position + textAhead < order_.size()) {
    const StoredEntry& entry = entries_[order_[position + textAhead]];
    const Segment& segment = segments_[entry.segment & segmentMask];
    // A text may reach into a second line.
    const std::uint32_t lastByte = entry.nameLength == 0 ? 0 : entry.nameLength - 1;
    prefetch(segment.at(entry.name));
    prefetch(segment.at(entry.name) + lastByte);
    if (entry.key != entry.name) {
      prefetch(segment.at(entry.key));
      prefetch(segment.at(entry.key) + lastByte);
    }
  }
}

FileIndex::iterator& FileIndex::iterator::operator++() {
  index_->prefetchWalk(position_);
  position_ = index_->nextLive(position_ + 1);
  return *this;
}

FileIndex::iterator FileIndex::iterator::operator++(int) {
  iterator before = *this;
  ++*this;
  return before;
}

FileIndex::iterator FileIndex::erase(iterator position) {
  eraseStored(order_[position.position_]);
  return iterator(this, nextLive(position.position_ + 1));
}

std::size_t FileIndex::positionOf(std::string_view key, std::size_t low, std::size_t high) const {
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (std::string_view(keyOf(order_[middle])) < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

FileIndex::iterator FileIndex::lowerBound(std::string_view key) const {
  settle();
  return walkFrom(positionOf(key, 0, order_.size()));
}

FileIndex::Found FileIndex::find(std::string_view key) const {
  settle();
  const std::size_t position = positionOf(key, 0, order_.size());
  if (position == order_.size()) return Found();
  const std::uint32_t slot = order_[position];
  if (erased_[slot] || std::string_view(keyOf(slot)) != key) return Found();
  return Found(itemAt(slot).entry);
}

}  // namespace catpack
