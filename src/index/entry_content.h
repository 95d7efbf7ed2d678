// Where an entry's bytes live, how old-format bytes are scrambled, and the
// content digest the diff compares.
#pragma once

#include <optional>
#include <string>

#include "index/file_entry.h"
#include "util/byte_buffer.h"

namespace catpack {

// Every byte of an old-format member is stored XORed with this key.
inline constexpr unsigned char dataKey = 0x4B;

// The file holding the entry's bytes: catalog + ".dat" for a member,
// folder + "/" + name for a folder file.
std::string memberSourcePath(const FileEntry& entry);

// The entry's `size` bytes as stored in their source (still scrambled for
// an old-format member); nothing after the loader's message.
std::optional<ByteBuffer> loadStoredBytes(const FileEntry& entry);

// The MD5 text of the entry's plain content: its stated digest when it has
// one, else computed from its source; empty when it cannot be had.
std::string entryDigest(const FileEntry& entry);

}  // namespace catpack
