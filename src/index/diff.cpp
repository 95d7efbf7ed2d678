#include "index/diff.h"

#include "index/entry_content.h"
#include "util/progress.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base) {
  const ProgressPhase phase("Comparing", base.size(), unknownTotal);
  for (const auto& [key, baseEntry] : base) {
    advance(1, 0);
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
    const std::string baseDigest = entryDigest(baseEntry);
    const std::string resultDigest = entryDigest(resultEntry);
    advance(0, 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(baseEntry.size)));
    if (baseDigest == resultDigest) result.erase(found);
  }
  return true;
}

}  // namespace catpack
