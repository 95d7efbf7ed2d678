#include <vector>

#include "index/file_index.h"
#include "index/key_order.h"

namespace catpack {

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

}  // namespace catpack
