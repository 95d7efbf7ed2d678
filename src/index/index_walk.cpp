#include <algorithm>
#include <string_view>

#include "index/file_index.h"
#include "util/prefetch.h"

namespace catpack {

std::size_t FileIndex::size() const {
  settle();
  return liveCount_;
}

std::size_t FileIndex::nextLive(std::size_t position) const {
  // The order holds only live entries until one is erased: their marks,
  // all over memory, need not be looked at then.
  if (liveCount_ == order_.size()) return position;
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

void FileIndex::prefetchTexts(std::uint32_t slot) const {
  const StoredEntry& entry = entries_[slot];
  const Segment& segment = segments_[entry.segment()];
  // A text may reach into a second line.
  const std::uint32_t lastByte = entry.nameLength == 0 ? 0 : entry.nameLength - 1;
  prefetch(segment.at(entry.name));
  prefetch(segment.at(entry.name) + lastByte);
  if (entry.key != entry.name) {
    prefetch(segment.at(entry.key));
    prefetch(segment.at(entry.key) + lastByte);
  }
}

void FileIndex::prefetchWalk(std::size_t position) const {
  // A walk in key order visits entries and texts all over memory: their
  // loads are started a few steps ahead.
  constexpr std::size_t entryAhead = 64;
  constexpr std::size_t textAhead = 32;
  if (position + entryAhead < order_.size()) prefetch(&entries_[order_[position + entryAhead]]);
  if (position + textAhead < order_.size()) prefetchTexts(order_[position + textAhead]);
}

void FileIndex::prefetchWalkStretch(std::size_t begin, std::size_t end) const {
  // All the entries' loads go out before any is waited for, and then all
  // the texts' loads: the stretch's misses overlap instead of coming one
  // after the other.
  end = std::min(end, order_.size());
  for (std::size_t position = begin; position < end; ++position) prefetch(&entries_[order_[position]]);
  for (std::size_t position = begin; position < end; ++position) prefetchTexts(order_[position]);
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
