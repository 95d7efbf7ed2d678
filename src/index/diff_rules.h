// What size, times and stated digests say of a result entry and the base
// entry of the same key.
#pragma once

#include <cstdint>
#include <string_view>

#include "index/entry_view.h"

namespace catpack {

// What tells a file of the same size as its base file unchanged.
enum class SameSizeCheck {
  timesFirst,  // the same time or one hour apart, else equal digests
  contents,    // equal digests, whatever the times
};

// A difference of exactly this many seconds either way counts as the same time.
inline constexpr std::int64_t oneHour = 3600;

// Whether the times alone make a pair of equal size unchanged.
inline bool timesSayUnchanged(std::int64_t resultTime, std::int64_t baseTime) {
  return (resultTime != 0 && resultTime == baseTime) || resultTime + oneHour == baseTime ||
         resultTime - oneHour == baseTime;
}

// Whether size and, as `check` allows, times leave it to the digests to
// decide.
inline bool needsDigests(const EntryView& resultEntry, const EntryView& baseEntry,
                         SameSizeCheck check) {
  return resultEntry.size == baseEntry.size &&
         (check == SameSizeCheck::contents || !timesSayUnchanged(resultEntry.time, baseEntry.time));
}

// The progress bytes of comparing a pair by digests.
inline std::uint64_t digestBytes(const EntryView& baseEntry) {
  return 2 * static_cast<std::uint64_t>(static_cast<std::uint32_t>(baseEntry.size));
}

}  // namespace catpack
