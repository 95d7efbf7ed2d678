#include "index/diff.h"

#include <string_view>
#include <vector>

#include "index/digest_ahead.h"
#include "index/entry_content.h"
#include "util/progress.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;
// Bases from this many entries on are compared on two threads when no
// digest needs working out.
constexpr std::size_t twoThreadBaseSize = 1 << 15;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

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

// Whether size and times leave it to the digests to decide.
bool needsDigests(const EntryView& resultEntry, const EntryView& baseEntry) {
  return resultEntry.size == baseEntry.size && !timesSayUnchanged(resultEntry.time, baseEntry.time);
}

// The progress bytes of comparing a pair by digests.
std::uint64_t digestBytes(const EntryView& baseEntry) {
  return 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(baseEntry.size));
}

// The entries whose digests the diff takes, in the order it takes them:
// base entry, then result entry, of every pair that size and times leave
// open. Stated digests cost nothing and are left out.
std::vector<EntryView> entriesToDigest(const FileIndex& result, const FileIndex& base) {
  std::vector<EntryView> entries;
  walkTogether(
      result.begin(), result.end(), base.begin(), base.end(),
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

// Compares one by one, working out digests where they are needed (only
// where some entry may lack a stated one); gathers the names of base files
// the result lacks in `missing`.
void compareInTurn(FileIndex& result, const FileIndex& base, unsigned helpers,
                   bool digestsToWorkOut, std::vector<EntryText>& missing) {
  DigestsAhead digests(helpers == 0 || !digestsToWorkOut ? std::vector<EntryView>()
                                                         : entriesToDigest(result, base),
                       helpers);
  walkTogether(
      result.begin(), result.end(), base.begin(), base.end(),
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
          advance(0, digestBytes(baseEntry));
        }
        return unchanged ? result.erase(position) : ++position;
      },
      [&](const EntryView& baseEntry) {
        advance(1, 0);
        if (!isDeletionMarker(baseEntry)) missing.push_back(baseEntry.name);
      });
}

// What comparing one stretch of the base found.
struct StretchFindings {
  std::vector<std::size_t> unchanged;  // walk positions of result entries to remove
  std::vector<EntryText> missing;      // names of base files the result lacks
  std::uint64_t files = 0;             // progress
  std::uint64_t bytes = 0;
};

// Compares the base entries from `baseAt` to `baseEnd`, every digest of
// which is stated, without changing the result.
void compareStretch(FileIndex::iterator position, FileIndex::iterator resultEnd,
                    FileIndex::iterator baseAt, FileIndex::iterator baseEnd,
                    StretchFindings& findings) {
  walkTogether(
      position, resultEnd, baseAt, baseEnd,
      [&](FileIndex::iterator at, const EntryView& baseEntry) {
        ++findings.files;
        const EntryView resultEntry = (*at).entry;
        if (resultEntry.size != baseEntry.size) return ++at;
        bool unchanged = true;
        if (needsDigests(resultEntry, baseEntry)) {
          unchanged = std::string_view(baseEntry.digest) == resultEntry.digest;
          findings.bytes += digestBytes(baseEntry);
        }
        if (unchanged) findings.unchanged.push_back(at.position());
        return ++at;
      },
      [&](const EntryView& baseEntry) {
        ++findings.files;
        if (!isDeletionMarker(baseEntry)) findings.missing.push_back(baseEntry.name);
      });
}

// Compares the two halves of the base on two threads, when every digest is
// stated, so that no digest and no message comes of comparing.
void compareInTwoHalves(FileIndex& result, const FileIndex& base,
                        std::vector<EntryText>& missing) {
  const FileIndex::iterator baseMiddle = base.walkFrom(base.walkLength() / 2);
  const FileIndex::iterator resultMiddle =
      baseMiddle == base.end() ? result.end() : result.lowerBound(baseMiddle.key());
  StretchFindings halves[2];
  {
    const HelperThreads helper(1, [&] {
      compareStretch(resultMiddle, result.end(), baseMiddle, base.end(), halves[1]);
    });
    compareStretch(result.begin(), resultMiddle, base.begin(), baseMiddle, halves[0]);
  }
  for (const StretchFindings& half : halves) {
    advance(half.files, half.bytes);
    for (const std::size_t position : half.unchanged) result.erase(result.walkFrom(position));
    missing.insert(missing.end(), half.missing.begin(), half.missing.end());
  }
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base, unsigned helpers) {
  // The names of base files the result lacks are added as markers once the
  // walk is done, since adding entries ends a walk; the base stays as it
  // is, so its texts can be held until then.
  std::vector<EntryText> missing;
  {
    const ProgressPhase phase("Comparing", base.size(), unknownTotal);
    const bool digestsStated = !result.mayLackDigests() && !base.mayLackDigests();
    if (digestsStated && helpers > 0 && base.size() >= twoThreadBaseSize) {
      compareInTwoHalves(result, base, missing);
    } else {
      compareInTurn(result, base, helpers, !digestsStated, missing);
    }
  }
  for (const EntryText name : missing) result.addDeletion(name);
  return true;
}

}  // namespace catpack
