#include "index/diff.h"

#include <string_view>
#include <vector>

#include "index/digest_ahead.h"
#include "index/entry_content.h"
#include "util/progress.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

// Walks both indexes together in key order and calls `pair` with the
// result's position for every base entry the result holds too, `missing`
// for every other. `pair` gives the position to go on from.
template <typename Pair, typename Missing>
void walkTogether(FileIndex& result, const FileIndex& base, Pair pair, Missing missing) {
  FileIndex::iterator position = result.begin();
  const FileIndex::iterator resultEnd = result.end();
  for (const auto& [key, baseEntry] : base) {
    const std::string_view baseKey = key;
    while (position != resultEnd && std::string_view(position.key()) < baseKey) ++position;
    if (position == resultEnd || std::string_view(position.key()) != baseKey) {
      missing(baseEntry);
    } else {
      position = pair(position, baseEntry);
    }
  }
}

// Whether size and times leave it to the digests to decide.
bool needsDigests(const EntryView& resultEntry, const EntryView& baseEntry) {
  return resultEntry.size == baseEntry.size && !timesSayUnchanged(resultEntry.time, baseEntry.time);
}

// The entries whose digests the diff takes, in the order it takes them:
// base entry, then result entry, of every pair that size and times leave
// open. Stated digests cost nothing and are left out.
std::vector<EntryView> entriesToDigest(FileIndex& result, const FileIndex& base) {
  std::vector<EntryView> entries;
  walkTogether(
      result, base,
      [&](FileIndex::iterator position, const EntryView& baseEntry) {
        const EntryView resultEntry = (*position).entry;
        if (needsDigests(resultEntry, baseEntry)) {
          if (baseEntry.digest.empty()) entries.push_back(baseEntry);
          if (resultEntry.digest.empty()) entries.push_back(resultEntry);
        }
        return ++position;
      },
      [](const EntryView&) {});
  return entries;
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base, unsigned helpers) {
  // The names of base files the result lacks are added as markers once the
  // walk is done, since adding entries ends a walk; the base stays as it
  // is, so its texts can be held until then.
  std::vector<EntryText> missing;
  {
    const ProgressPhase phase("Comparing", base.size(), unknownTotal);
    const bool digestsToWorkOut = result.mayLackDigests() || base.mayLackDigests();
    DigestsAhead digests(helpers == 0 || !digestsToWorkOut ? std::vector<EntryView>()
                                                           : entriesToDigest(result, base),
                         helpers);
    walkTogether(
        result, base,
        [&](FileIndex::iterator position, const EntryView& baseEntry) {
          advance(1, 0);
          const EntryView resultEntry = (*position).entry;
          if (resultEntry.size != baseEntry.size) return ++position;
          bool unchanged = true;
          if (needsDigests(resultEntry, baseEntry)) {
            if (!baseEntry.digest.empty() && !resultEntry.digest.empty()) {
              unchanged = std::string_view(baseEntry.digest) == resultEntry.digest;
            } else {
              // The base's digest first, as its messages come first.
              const std::string baseDigest = digests.take(baseEntry);
              unchanged = baseDigest == digests.take(resultEntry);
            }
            advance(0, 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(baseEntry.size)));
          }
          return unchanged ? result.erase(position) : ++position;
        },
        [&](const EntryView& baseEntry) {
          advance(1, 0);
          if (!isDeletionMarker(baseEntry)) missing.push_back(baseEntry.name);
        });
  }
  for (const EntryText name : missing) result.addDeletion(name);
  return true;
}

}  // namespace catpack
