// Recovers an old-format member's time from the header of its own bytes.
#pragma once

#include <cstdint>
#include <string>

namespace catpack {

// A member's first byte is XORed with this to give a keyed header's key.
inline constexpr unsigned char memberKeyConstant = 0xA5;

// The time in the header of the member `name` (a compressed or an object
// member, chosen by the name's ending) at `offset` of `dataPath`, or 0. Never
// reads past the member's `memberSize` bytes.
std::int64_t probeOldTime(const std::string& name, const std::string& dataPath,
                          std::uint64_t offset, std::uint32_t memberSize);

}  // namespace catpack
