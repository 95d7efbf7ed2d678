#include <algorithm>
#include <cstring>

#include "index/file_index.h"
#include "index/key_text.h"

namespace catpack {

namespace indexstorage {

std::uint32_t appendTo(std::vector<char>& arena, std::uint64_t base, std::string_view text) {
  const auto offset = static_cast<std::uint32_t>(base + arena.size());
  arena.insert(arena.end(), text.begin(), text.end());
  arena.push_back('\0');
  return offset;
}

}  // namespace indexstorage

using indexstorage::digestLength;
using indexstorage::lengthPrefixedDigest;
using indexstorage::segmentCapacity;
using indexstorage::segmentMask;

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

}  // namespace catpack
