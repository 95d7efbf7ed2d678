#include "index/base_pairing.h"

#include "index/digest_ahead.h"
#include "util/prefetch.h"
#include "util/progress.h"

namespace catpack {

BasePairing::BasePairing(const FileIndex& result, SameSizeCheck check)
    : result_(result), keys_(result, helperThreadCount()), check_(check), verdicts_(result.storedCount()) {}

std::uint32_t BasePairing::nextCatalog() {
  // Stretch 0 stands for none; a catalog is read in up to two stretches.
  stretches_ += 2;
  return stretches_ - 1;
}

std::size_t BasePairing::slotOf(std::string_view key) const {
  std::size_t slot = KeyTable::none;
  keys_.findAll(&key, 1, &slot);
  return slot;
}

void BasePairing::loadEntry(Lookup& lookup) const {
  keys_.loadCandidate(lookup);
  if (lookup.slot != KeyTable::none) prefetch(&verdicts_[lookup.slot]);
}

bool BasePairing::settle(std::string_view key, const EntryView& member, std::uint32_t stretch,
                         const Lookup& lookup) {
  const std::size_t slot = keys_.finishProbe(key, lookup);
  // A member the result lacks may become a deletion marker.
  if (slot == KeyTable::none) return false;
  const EntryView resultEntry = result_.storedEntry(slot);
  Verdict verdict = unchanged;
  if (resultEntry.size != member.size) {
    verdict = changed;
  } else if (needsDigests(resultEntry, member, check_)) {
    if (member.digest.empty() || resultEntry.digest.empty()) {
      verdict = digestsDecide;
    } else if (std::string_view(member.digest) != resultEntry.digest) {
      verdict = changed;
    }
  }
  // The latest member of a key decides: of a later stretch, whichever
  // thread pairs it first, or later in the same stretch.
  const std::uint32_t value = stretch << 2 | verdict;
  std::atomic<std::uint32_t>& held = verdicts_[slot];
  std::uint32_t seen = held.load(std::memory_order_relaxed);
  while ((seen >> 2) <= stretch &&
         !held.compare_exchange_weak(seen, value, std::memory_order_relaxed)) {
  }
  return verdict != digestsDecide;
}

namespace {

// A stored base entry and the result slot of its key.
struct StoredPair {
  EntryView base;
  std::size_t resultSlot;
};

}  // namespace

bool applyPairedDiff(FileIndex& result, FileIndex& base, const BasePairing& pairing,
                     unsigned helpers) {
  // The base entries in key order with the result slots of their keys;
  // those whose key a later settled member decided are left out.
  std::vector<StoredPair> pairs;
  for (const auto& [key, entry] : base) {
    const std::size_t slot = pairing.slotOf(key);
    // A later member of the key settled its pair.
    const BasePairing::Verdict verdict = slot == KeyTable::none ? BasePairing::none : pairing.verdictOf(slot);
    if (verdict == BasePairing::changed || verdict == BasePairing::unchanged) continue;
    pairs.push_back({entry, slot});
  }
  const auto digestsDecide = [&](const StoredPair& pair) {
    return pair.resultSlot != KeyTable::none &&
           needsDigests(result.storedEntry(pair.resultSlot), pair.base, pairing.check_);
  };
  std::vector<EntryView> toDigest;
  if (helpers > 0) {
    for (const StoredPair& pair : pairs) {
      if (!digestsDecide(pair)) continue;
      if (pair.base.digest.empty()) toDigest.push_back(pair.base);
      const EntryView resultEntry = result.storedEntry(pair.resultSlot);
      if (resultEntry.digest.empty()) toDigest.push_back(resultEntry);
    }
  }
  std::vector<std::uint32_t> unchanged;  // result slots the digests found unchanged
  std::vector<EntryText> missing;
  {
    const ProgressPhase phase("Comparing", pairs.size(), unknownTotal);
    DigestsAhead digests(std::move(toDigest), helpers);
    for (const StoredPair& pair : pairs) {
      advance(1, 0);
      if (pair.resultSlot == KeyTable::none) {
        if (!isDeletionMarker(pair.base)) missing.push_back(pair.base.name);
        continue;
      }
      const EntryView resultEntry = result.storedEntry(pair.resultSlot);
      if (resultEntry.size != pair.base.size) continue;
      bool same = true;
      if (digestsDecide(pair)) {
        // The base's digest first, as its messages come first.
        const std::string baseDigest = digests.take(pair.base);
        same = baseDigest == digests.take(resultEntry);
        advance(0, digestBytes(pair.base));
      }
      if (same) unchanged.push_back(static_cast<std::uint32_t>(pair.resultSlot));
    }
  }
  // Replaced entries of the result go too, as settling would drop them.
  for (const std::uint32_t slot : pairing.keys_.replacedSlots()) result.eraseStored(slot);
  for (const std::uint32_t slot : unchanged) result.eraseStored(slot);
  for (std::size_t slot = 0; slot < result.storedCount(); ++slot) {
    if (pairing.verdictOf(slot) == BasePairing::unchanged) result.eraseStored(slot);
  }
  for (const EntryText name : missing) result.addDeletion(name);
  return true;
}

}  // namespace catpack
