#include "index/diff.h"

#include <vector>

#include "index/digest_ahead.h"
#include "index/entry_content.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

// The entries whose digests the walk below computes, in the order it takes
// them: base entry, then result entry, of every pair that size and time
// leave open.
std::vector<FileEntry> entriesToDigest(FileIndex& result, const FileIndex& base) {
  std::vector<FileEntry> entries;
  for (const auto& [key, baseEntry] : base) {
    const FileIndex::iterator found = result.lookup(key);
    if (found == result.end() || found->second.size != baseEntry.size ||
        timesSayUnchanged(found->second.time, baseEntry.time)) {
      continue;
    }
    if (baseEntry.digest.empty()) entries.push_back(baseEntry);
    if (found->second.digest.empty()) entries.push_back(found->second);
  }
  return entries;
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base, unsigned helpers) {
  DigestsAhead digests(helpers == 0 ? std::vector<FileEntry>() : entriesToDigest(result, base),
                       helpers);
  for (const auto& [key, baseEntry] : base) {
    const FileIndex::iterator found = result.lookup(key);
    if (found == result.end()) {
      if (!isDeletionMarker(baseEntry)) result.addDeletion(baseEntry.name);
      continue;
    }
    const FileEntry& resultEntry = found->second;
    if (resultEntry.size != baseEntry.size) continue;
    if (timesSayUnchanged(resultEntry.time, baseEntry.time)) {
      result.erase(found);
      continue;
    }
    const std::string baseDigest = digests.take(baseEntry);
    if (baseDigest == digests.take(resultEntry)) result.erase(found);
  }
  return true;
}

}  // namespace catpack
