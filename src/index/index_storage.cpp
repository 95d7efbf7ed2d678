#include <algorithm>
#include <cstring>

#include "index/file_index.h"
#include "index/key_text.h"
#include "util/prefetch.h"

namespace catpack {

namespace indexstorage {

std::uint32_t appendTo(std::vector<char>& arena, std::uint64_t base, std::string_view text) {
  const auto offset = static_cast<std::uint32_t>(base + arena.size());
  arena.insert(arena.end(), text.begin(), text.end());
  arena.push_back('\0');
  return offset;
}

}  // namespace indexstorage

using indexstorage::DigestForm;
using indexstorage::digestLength;
using indexstorage::segmentCapacity;

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

std::uint32_t FileIndex::appendText(std::uint32_t segment, std::string_view text) {
  Segment& target = segments_[segment];
  return indexstorage::appendTo(target.arena, target.text.size(), text);
}

std::string_view FileIndex::keyFor(std::string_view name) { return keyOfName(name, keyScratch_); }

void FileIndex::appendCopy(SourceKind kind, const std::string& path, bool scrambled,
                           std::string_view name, std::string_view key, std::int32_t size,
                           std::int64_t time, std::uint64_t offset, std::string_view digest) {
  const std::size_t needed = name.size() + key.size() + digest.size() + 8;
  const std::uint32_t segment = segmentFor(kind, path, scrambled, needed);
  const DigestForm form = digest.empty()                  ? DigestForm::none
                          : digest.size() == digestLength ? DigestForm::plain
                                                          : DigestForm::lengthPrefixed;
  StoredEntry entry{StoredEntry::segmentWord(segment, form), 0, 0,
                    static_cast<std::uint32_t>(name.size()), size, 0, 0, 0};
  entry.setOffset(offset);
  setTime(entry, time, wideTimes_);
  // The name, its digest right behind its NUL, then the key if it differs.
  entry.name = appendText(segment, name);
  if (name.find('\0') != std::string_view::npos) namesMayHoldNul_ = true;
  longestNameAdded_ = std::max(longestNameAdded_, name.size());
  std::vector<char>& arena = segments_[segment].arena;
  if (form == DigestForm::lengthPrefixed) {
    const auto length = static_cast<std::uint32_t>(digest.size());
    char prefix[sizeof length];
    std::memcpy(prefix, &length, sizeof length);
    arena.insert(arena.end(), prefix, prefix + sizeof prefix);
  }
  if (form != DigestForm::none) {
    arena.insert(arena.end(), digest.begin(), digest.end());
    arena.push_back('\0');
  }
  if (digest.empty()) mayLackDigests_ = true;
  entry.key = key == name ? entry.name : appendText(segment, key);
  entries_.push_back(entry);
  erased_.push_back(false);
}

void FileIndex::setTime(StoredEntry& entry, std::int64_t time, std::vector<std::int64_t>& wideTimes) {
  if (indexstorage::fitsNarrow(time)) {
    entry.time = static_cast<std::int32_t>(time);
    entry.segmentAndForm &= ~StoredEntry::wideTimeBit;
  } else {
    entry.time = static_cast<std::int32_t>(wideTimes.size());
    entry.segmentAndForm |= StoredEntry::wideTimeBit;
    wideTimes.push_back(time);
  }
}

std::int64_t FileIndex::timeOf(const StoredEntry& entry) const {
  return entry.hasWideTime() ? wideTimes_[static_cast<std::uint32_t>(entry.time)] : entry.time;
}

EntryText FileIndex::keyOf(const StoredEntry& entry) const {
  return {segments_[entry.segment()].at(entry.key), entry.nameLength};
}

EntryText FileIndex::storedKey(std::size_t slot) const { return keyOf(entries_[slot]); }

void FileIndex::prefetchStored(std::size_t slot) const { prefetch(&entries_[slot]); }

void FileIndex::prefetchStoredKey(std::size_t slot) const {
  const StoredEntry& entry = entries_[slot];
  const char* key = segments_[entry.segment()].at(entry.key);
  prefetch(key);
  if (entry.nameLength != 0) prefetch(key + entry.nameLength - 1);
}


IndexItem FileIndex::itemAt(std::uint32_t slot) const {
  const StoredEntry& stored = entries_[slot];
  const Segment& segment = segments_[stored.segment()];
  IndexItem item;
  item.key = {segment.at(stored.key), stored.nameLength};
  EntryView& entry = item.entry;
  const char* name = segment.at(stored.name);
  entry.name = {name, stored.nameLength};
  entry.size = stored.size;
  entry.time = timeOf(stored);
  const EntryText path(segment.path.c_str(), segment.path.size());
  if (segment.kind == SourceKind::folder) entry.folder = path;
  if (segment.kind == SourceKind::catalog) {
    entry.inCatalog = true;
    entry.catalog = path;
  }
  entry.scrambled = segment.scrambled;
  entry.offset = stored.offset();
  const char* digest = name + stored.nameLength + 1;
  switch (stored.digestForm()) {
    case DigestForm::plain:
      entry.digest = {digest, digestLength};
      break;
    case DigestForm::lengthPrefixed: {
      std::uint32_t length = 0;
      std::memcpy(&length, digest, sizeof length);
      entry.digest = {digest + sizeof length, length};
      break;
    }
    case DigestForm::none:
      break;
  }
  return item;
}

}  // namespace catpack
