#include "index/diff.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "index/digest_ahead.h"
#include "index/entry_content.h"
#include "index/key_table.h"
#include "util/progress.h"

namespace catpack {

namespace {

// Bases from this many stored entries on are compared on two threads when
// no digest needs working out.
constexpr std::size_t twoThreadBaseSize = 1 << 15;

// Walks the base from `baseAt` to `baseEnd` together with the result from
// `position` to `resultEnd`, in key order, and calls `pair` with the
// result's position for every base entry the result holds too, `missing`
// for every other. `pair` gives the position to go on from.
template <typename Pair, typename Missing>
void walkTogether(FileIndex::iterator position, FileIndex::iterator resultEnd,
                  FileIndex::iterator baseAt, FileIndex::iterator baseEnd, Pair pair,
                  Missing missing) {
  for (; baseAt != baseEnd; ++baseAt) {
    const IndexItem base = *baseAt;
    const std::string_view baseKey = base.key;
    while (position != resultEnd && std::string_view(position.key()) < baseKey) ++position;
    if (position == resultEnd || std::string_view(position.key()) != baseKey) {
      missing(base.entry);
    } else {
      position = pair(position, base.entry);
    }
  }
}

// The entries whose digests the diff takes, in the order it takes them:
// base entry, then result entry, of every pair that size and times leave
// open. Stated digests cost nothing and are left out.
std::vector<EntryView> entriesToDigest(const FileIndex& result, const FileIndex& base,
                                       SameSizeCheck check) {
  std::vector<EntryView> entries;
  walkTogether(
      result.begin(), result.end(), base.begin(), base.end(),
      [&](FileIndex::iterator position, const EntryView& baseEntry) {
        const EntryView resultEntry = (*position).entry;
        if (needsDigests(resultEntry, baseEntry, check)) {
          if (baseEntry.digest.empty()) entries.push_back(baseEntry);
          if (resultEntry.digest.empty()) entries.push_back(resultEntry);
        }
        return ++position;
      },
      [](const EntryView&) {});
  return entries;
}

// Compares one by one, working out digests where they are needed (only
// where some entry may lack a stated one); gathers the names of base files
// the result lacks in `missing`.
void compareInTurn(FileIndex& result, const FileIndex& base, unsigned helpers,
                   SameSizeCheck check, bool digestsToWorkOut, std::vector<EntryText>& missing) {
  DigestsAhead digests(helpers == 0 || !digestsToWorkOut ? std::vector<EntryView>()
                                                         : entriesToDigest(result, base, check),
                       helpers);
  walkTogether(
      result.begin(), result.end(), base.begin(), base.end(),
      [&](FileIndex::iterator position, const EntryView& baseEntry) {
        advance(1, 0);
        const EntryView resultEntry = (*position).entry;
        if (resultEntry.size != baseEntry.size) return ++position;
        bool unchanged = true;
        if (needsDigests(resultEntry, baseEntry, check)) {
          if (!baseEntry.digest.empty() && !resultEntry.digest.empty()) {
            unchanged = std::string_view(baseEntry.digest) == resultEntry.digest;
          } else {
            // The base's digest first, as its messages come first.
            const std::string baseDigest = digests.take(baseEntry);
            unchanged = baseDigest == digests.take(resultEntry);
          }
          advance(0, digestBytes(baseEntry));
        }
        return unchanged ? result.erase(position) : ++position;
      },
      [&](const EntryView& baseEntry) {
        advance(1, 0);
        if (!isDeletionMarker(baseEntry)) missing.push_back(baseEntry.name);
      });
}

// What comparing one stretch of the base's slots found.
struct StretchFindings {
  std::vector<std::uint32_t> unchanged;  // result slots to remove
  std::vector<std::uint32_t> missing;    // base slots of files the result lacks
  std::uint64_t bytes = 0;               // progress
};

// Compares the base's entries in the slots from `begin` to `end` with the
// result's entries of the same keys, every digest stated, without changing
// either index.
void compareSlots(const FileIndex& result, const KeyTable& resultKeys, const FileIndex& base,
                  const KeyTable& baseKeys, std::size_t begin, std::size_t end,
                  SameSizeCheck check, StretchFindings& findings) {
  std::size_t baseSlots[KeyTable::batchSize];
  std::string_view keys[KeyTable::batchSize];
  std::size_t resultSlots[KeyTable::batchSize];
  for (std::size_t next = begin; next < end;) {
    std::size_t count = 0;
    for (; count < KeyTable::batchSize && next < end; ++next) {
      if (!baseKeys.holdsEntry(next)) continue;
      baseSlots[count] = next;
      keys[count++] = base.storedKey(next);
    }
    resultKeys.findAll(keys, count, resultSlots);
    for (std::size_t at = 0; at < count; ++at) {
      const EntryView baseEntry = base.storedEntry(baseSlots[at]);
      if (resultSlots[at] == KeyTable::none) {
        if (!isDeletionMarker(baseEntry)) {
          findings.missing.push_back(static_cast<std::uint32_t>(baseSlots[at]));
        }
        continue;
      }
      const EntryView resultEntry = result.storedEntry(resultSlots[at]);
      if (resultEntry.size != baseEntry.size) continue;
      bool unchanged = true;
      if (needsDigests(resultEntry, baseEntry, check)) {
        unchanged = std::string_view(baseEntry.digest) == resultEntry.digest;
        findings.bytes += digestBytes(baseEntry);
      }
      if (unchanged) findings.unchanged.push_back(static_cast<std::uint32_t>(resultSlots[at]));
    }
  }
}

// Compares on two threads, when every digest is stated, so that no digest
// and no message comes of comparing. The pairs are found by hashing the
// keys of both indexes in the order they were stored: walks in key order
// would visit texts all over memory, and the result needs putting in order
// only once it is reduced. The names of base files the result lacks are
// gathered in key order, as a walk would meet them.
void compareByHashing(FileIndex& result, const FileIndex& base, SameSizeCheck check,
                      std::vector<EntryText>& missing) {
  std::optional<KeyTable> resultKeys;
  std::optional<KeyTable> baseKeys;
  {
    const HelperThreads helper(1, [&] { baseKeys.emplace(base); });
    resultKeys.emplace(result);
  }
  // Replaced entries of the result go now, as settling would drop them.
  for (const std::uint32_t slot : resultKeys->replacedSlots()) result.eraseStored(slot);
  const ProgressPhase phase("Comparing", baseKeys->entryCount(), unknownTotal);
  const std::size_t stored = base.storedCount();
  StretchFindings halves[2];
  {
    const HelperThreads helper(1, [&] {
      compareSlots(result, *resultKeys, base, *baseKeys, stored / 2, stored, check, halves[1]);
    });
    compareSlots(result, *resultKeys, base, *baseKeys, 0, stored / 2, check, halves[0]);
  }
  std::vector<std::uint32_t> missingSlots;
  advance(baseKeys->entryCount(), halves[0].bytes + halves[1].bytes);
  for (const StretchFindings& half : halves) {
    for (const std::uint32_t slot : half.unchanged) result.eraseStored(slot);
    missingSlots.insert(missingSlots.end(), half.missing.begin(), half.missing.end());
  }
  std::sort(missingSlots.begin(), missingSlots.end(), [&](std::uint32_t left, std::uint32_t right) {
    return std::string_view(base.storedKey(left)) < std::string_view(base.storedKey(right));
  });
  for (const std::uint32_t slot : missingSlots) missing.push_back(base.storedEntry(slot).name);
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base, unsigned helpers, SameSizeCheck check) {
  // The names of base files the result lacks are added as markers once the
  // walk is done, since adding entries ends a walk; the base stays as it
  // is, so its texts can be held until then.
  std::vector<EntryText> missing;
  const bool digestsStated = !result.mayLackDigests() && !base.mayLackDigests();
  if (digestsStated && helpers > 0 && base.storedCount() >= twoThreadBaseSize) {
    compareByHashing(result, base, check, missing);
  } else {
    const ProgressPhase phase("Comparing", base.size(), unknownTotal);
    compareInTurn(result, base, helpers, check, !digestsStated, missing);
  }
  for (const EntryText name : missing) result.addDeletion(name);
  return true;
}

}  // namespace catpack
