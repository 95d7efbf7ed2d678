#include "index/catalog_members.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "index/key_text.h"

namespace catpack {

using indexstorage::appendTo;
using indexstorage::DigestForm;

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

bool FileIndex::TextMembers::Stretch::add(std::uint32_t nameOffset, std::uint32_t nameLength,
                                          std::int32_t size, std::int64_t time,
                                          std::uint64_t offset, bool hasDigest,
                                          BasePairing::Lookup* lookup) {
  if (nameLength > longestName_) longestName_ = nameLength;
  const std::string_view name(reinterpret_cast<const char*>(source_.bytes) + nameOffset, nameLength);
  const std::string_view key = keyOfName(name, keyScratch_);
  if (screen_ != nullptr) {
    const KeyScreen::Verdict verdict = screen_->judge(key);
    if (verdict == KeyScreen::Verdict::dropped) return false;
    if (verdict == KeyScreen::Verdict::kept) ++kept_;
  }
  if (pairing_ != nullptr) {
    EntryView member;
    member.name = {name.data(), name.size()};
    member.size = size;
    member.time = time;
    if (hasDigest) {
      member.digest = {reinterpret_cast<const char*>(source_.bytes) + nameOffset + nameLength + 1,
                       indexstorage::digestLength};
    }
    BasePairing::Lookup now{};
    if (lookup == nullptr) {
      now = pairing_->startLookup(key);
      pairing_->loadEntry(now);
      lookup = &now;
    }
    if (pairing_->settle(key, member, pairedStretch_, *lookup)) return false;
  }
  if (!hasDigest) mayLackDigests_ = true;
  const std::uint32_t keyOffset =
      key.data() == name.data() ? nameOffset : appendTo(arena_, source_.size, key);
  StoredEntry entry{
      StoredEntry::segmentWord(source_.segment, hasDigest ? DigestForm::plain : DigestForm::none),
      nameOffset, keyOffset, nameLength, size, 0, 0, 0};
  entry.setOffset(offset);
  setTime(entry, time, wideTimes_);
  if (inRoom_ < roomSize_) {
    room_[inRoom_++] = entry;
  } else {
    beyondRoom_.push_back(entry);
  }
  return true;
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
  // Each stretch's own texts go behind the segment's arena, its wide times
  // behind the index's, and its entries are moved on to match.
  for (std::size_t index = 0; index < members.stretches_.size(); ++index) {
    const TextMembers::Stretch& stretch = members.stretches_[index];
    const auto arenaShift = static_cast<std::uint32_t>(segment.arena.size());
    segment.arena.insert(segment.arena.end(), stretch.arena_.begin(), stretch.arena_.end());
    const auto wideShift = static_cast<std::uint32_t>(wideTimes_.size());
    wideTimes_.insert(wideTimes_.end(), stretch.wideTimes_.begin(), stretch.wideTimes_.end());
    if (stretch.mayLackDigests_) mayLackDigests_ = true;
    longestNameAdded_ = std::max(longestNameAdded_, stretch.longestName_);
    knownToPass_ += stretch.kept_;
    const std::uint64_t offsetShift = index < offsetShifts.size() ? offsetShifts[index] : 0;
    const std::size_t end = begins[index] + stretch.count();
    if (arenaShift == 0 && offsetShift == 0 && (wideShift == 0 || stretch.wideTimes_.empty())) {
      continue;
    }
    for (std::size_t at = begins[index]; at < end; ++at) {
      StoredEntry& entry = storage[at];
      if (entry.key >= textSize) entry.key += arenaShift;
      if (entry.hasWideTime()) {
        entry.time = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.time) + wideShift);
      }
      entry.setOffset(entry.offset() + offsetShift);
    }
  }
  if (entries_.empty()) {
    entries_.swap(storage);  // with the room to spare it was given
  } else {
    entries_.insert(entries_.end(), storage.begin(), storage.end());
  }
  erased_.resize(entries_.size(), false);
}

}  // namespace catpack
