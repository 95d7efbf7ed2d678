// The two index-file formats: the scrambling of the old format's index text
// and the rule that tells an old-format index from a current one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace catpack {

// The index key of byte position p is (p - indexKeyConstant) modulo 256.
inline constexpr unsigned char indexKeyConstant = 0x37;

// How many bytes of an index text the format test looks at.
inline constexpr std::size_t formatTestLength = 1024;

// XORs bytes[i] with the index key of position + i; its own inverse.
void scrambleIndexText(unsigned char* bytes, std::size_t length, std::uint64_t position);

// True when the first 1024 bytes, unscrambled, read like an old-format index.
bool isOldCatalogText(const unsigned char* bytes, std::size_t length);

// True when every text that begins with these bytes reads as a current one:
// among the bytes the format test sees, they hold what no old-format index
// can.
bool isCurrentCatalogTextWhateverFollows(const unsigned char* bytes, std::size_t length);

// True when `name` can stand in an old-format index line without making the
// index unrecognisable: no control bytes but TAB, and bytes of 0x80 and
// above only in plausible UTF-8 sequences.
bool isOldFormatName(const std::string& name);

}  // namespace catpack
