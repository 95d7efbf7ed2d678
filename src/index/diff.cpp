#include "index/diff.h"

#include <vector>

#include "index/entry_content.h"

namespace catpack {

namespace {

constexpr std::int64_t oneHour = 3600;

bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

// Whether the result entry is the base entry unchanged. Digests are taken
// only when size and times do not decide, the base's first.
bool isUnchanged(const EntryView& resultEntry, const EntryView& baseEntry) {
  if (resultEntry.size != baseEntry.size) return false;
  if (timesSayUnchanged(resultEntry.time, baseEntry.time)) return true;
  const std::string baseDigest = entryDigest(baseEntry);
  return baseDigest == entryDigest(resultEntry);
}

}  // namespace

bool applyDiff(FileIndex& result, const FileIndex& base) {
  // Both indexes are walked together in key order. The names of base files
  // the result lacks are collected and added as markers once the walk is
  // done, since adding entries ends a walk; the base stays as it is, so its
  // texts can be held until then.
  std::vector<EntryText> missing;
  FileIndex::iterator position = result.begin();
  const FileIndex::iterator resultEnd = result.end();
  for (const auto& [key, baseEntry] : base) {
    const std::string_view baseKey = key;
    while (position != resultEnd && std::string_view(position->key) < baseKey) ++position;
    if (position == resultEnd || std::string_view(position->key) != baseKey) {
      if (!isDeletionMarker(baseEntry)) missing.push_back(baseEntry.name);
      continue;
    }
    if (isUnchanged((*position).entry, baseEntry)) {
      position = result.erase(position);
    } else {
      ++position;
    }
  }
  for (const EntryText name : missing) result.addDeletion(name);
  return true;
}

}  // namespace catpack
