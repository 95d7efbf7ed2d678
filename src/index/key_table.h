// The entry of every key of an index found by hashing its stored entries,
// without putting them in key order: for passes that pair two big indexes
// and need no order, where a walk in key order would visit texts all over
// memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "index/file_index.h"
#include "util/large_blocks.h"

namespace catpack {

class KeyTable {
 public:
  // No slot.
  static constexpr std::size_t none = static_cast<std::size_t>(-1);

  // Hashes the keys of the stored entries of `index`, with `helpers`
  // threads beside this one for a big index. Of the slots that hold one
  // key, the last is the entry (as the index settles it); the others are
  // marked as replaced.
  explicit KeyTable(const FileIndex& index, unsigned helpers = 0);

  // How many keys findAll takes at once.
  static constexpr std::size_t batchSize = 16;

  // The slots of the entries under `count` keys (at most batchSize), or
  // none, into `slots`: their loads are started together, so that they
  // wait for memory once, not once each.
  void findAll(const std::string_view* keys, std::size_t count, std::size_t* slots) const;

  // One lookup taken in steps, so that the loads of lookups made side by
  // side overlap: startProbe() starts loading the key's place,
  // loadCandidate() then the entry the place names, loadCandidateKey()
  // then that entry's key, and finishProbe() gives the slot. Each step
  // waits only for the loads the one before started.
  struct Probe {
    std::uint64_t hash;
    std::size_t place;
    std::size_t slot;  // the candidate, once loadCandidate() ran
  };
  Probe startProbe(std::string_view key) const;
  void loadCandidate(Probe& probe) const;
  void loadCandidateKey(const Probe& probe) const;
  // The slot of the entry under `key` (the probe's key), or none.
  std::size_t finishProbe(std::string_view key, const Probe& probe) const;

  // Whether `slot` holds an entry of the index: stored and not replaced.
  bool holdsEntry(std::size_t slot) const { return index_.isStored(slot) && !replaced_[slot]; }

  // The slots that were replaced by later ones of the same key.
  const std::vector<std::uint32_t>& replacedSlots() const { return replacedSlots_; }

  // How many entries the index holds.
  std::size_t entryCount() const { return entryCount_; }

 private:
  // A place of the table: the slot plus one (0: empty) and more bits of
  // the key's hash, which spare most comparisons of texts. Aligned to its
  // size, so that threads filling the table can swap it whole.
  struct alignas(8) Place {
    std::uint32_t slotPlusOne;
    std::uint32_t tag;
  };

  // What one thread filling the table found: slots replaced by a later
  // slot of the same key, and the places it took.
  struct Filling {
    std::vector<std::uint32_t> replaced;
    std::size_t placesTaken = 0;
  };

  // Puts the slots of the stored entries from `begin` to `end` in the
  // table; other threads may put other slots in at the same time.
  void insertSlots(std::size_t begin, std::size_t end, Filling& filling);
  // Puts the slot of `key`, of hash `hash`, in the table, where another
  // thread may be putting in slots too.
  void insert(std::size_t slot, std::string_view key, std::uint64_t hash, Filling& filling);
  // The first slot in the table from the place of `hash` on whose tag
  // matches, or none when an empty place comes first.
  std::size_t candidate(std::uint64_t hash, std::size_t& place) const;
  // The slot of `key`, of hash `hash`, looked for from `place` on.
  std::size_t findFrom(std::string_view key, std::uint64_t hash, std::size_t place) const;

  const FileIndex& index_;
  ZeroedBlock<Place> places_;  // an empty place is all zero
  std::size_t mask_ = 0;
  std::vector<bool> replaced_;
  std::vector<std::uint32_t> replacedSlots_;
  std::size_t entryCount_ = 0;
};

}  // namespace catpack
