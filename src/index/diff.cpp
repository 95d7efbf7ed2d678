#include "index/diff.h"

#include "index/entry_content.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base) {
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
    const std::string baseDigest = entryDigest(baseEntry);
    if (baseDigest == entryDigest(resultEntry)) result.erase(found);
  }
  return true;
}

}  // namespace catpack
