// The diff against base catalogs worked out while they are read: each base
// member is paired with the result's entry of its key as it is read, and a
// member whose pair its size, times and stated digests settle is never
// stored. The base index then holds only the members that may become
// deletion markers and those whose digests must be worked out, so a big
// base costs little more memory than its reading does.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "index/diff_rules.h"
#include "index/entry_view.h"
#include "index/file_index.h"
#include "index/key_table.h"
#include "util/large_blocks.h"
#include "util/workers.h"

namespace catpack {

class BasePairing {
 public:
  // Pairs with the entries of `result`, which must stay unchanged until
  // applyPairedDiff.
  BasePairing(const FileIndex& result, SameSizeCheck check);
  BasePairing(const BasePairing&) = delete;
  BasePairing& operator=(const BasePairing&) = delete;

  // The number of the first stretch of the next catalog read; its stretch
  // k is number + k, and every stretch read later has a higher number.
  // Within one stretch the members come in text order, on one thread.
  std::uint32_t nextCatalog();

  // A lookup of a member's key in the result, started ahead of settle()
  // so that the loads of the lookups of several members overlap: start,
  // then loadEntry(), then loadKey(), each a few members before the next.
  using Lookup = KeyTable::Probe;
  Lookup startLookup(std::string_view key) const { return keys_.startProbe(key); }
  void loadEntry(Lookup& lookup) const;
  void loadKey(const Lookup& lookup) const { keys_.loadCandidateKey(lookup); }

  // Pairs the base member `member` of key `key`, of stretch `stretch`,
  // whose key `lookup` was started for; true when its pair is settled, so
  // that it need not be stored. May be called from several threads at once.
  bool settle(std::string_view key, const EntryView& member, std::uint32_t stretch,
              const Lookup& lookup);

 private:
  // What the latest base member of a key made of its result entry.
  enum Verdict : std::uint32_t { none = 0, changed = 1, unchanged = 2, digestsDecide = 3 };

  friend bool applyPairedDiff(FileIndex& result, FileIndex& base, const BasePairing& pairing,
                              unsigned helpers);

  // The verdict of the latest base member paired with the result's `slot`.
  Verdict verdictOf(std::size_t slot) const {
    return static_cast<Verdict>(verdicts_[slot].load(std::memory_order_relaxed) & 3);
  }
  // The result slot of `key`, or KeyTable::none.
  std::size_t slotOf(std::string_view key) const;

  const FileIndex& result_;
  KeyTable keys_;
  SameSizeCheck check_;
  std::uint32_t stretches_ = 0;
  // Per result slot: the stretch of the latest paired member times 4, plus
  // its verdict; 0 while none was paired.
  std::vector<std::atomic<std::uint32_t>, LargeBlockAllocator<std::atomic<std::uint32_t>>> verdicts_;
};

// Finishes the diff of `result` against the members of `base` that
// `pairing` left stored (`base` is settled for it): removes every result
// entry the latest base member of its key found unchanged, and adds a
// deletion marker for every base file `result` lacks. What comes of it,
// messages included, is what applyDiff gives for the whole base.
bool applyPairedDiff(FileIndex& result, FileIndex& base, const BasePairing& pairing,
                     unsigned helpers = helperThreadCount());

}  // namespace catpack
