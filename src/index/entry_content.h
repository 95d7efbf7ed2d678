// Where an entry's bytes live, how old-format bytes are scrambled, and the
// content digest the diff compares.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "index/file_entry.h"
#include "index/file_index.h"
#include "util/loading.h"

namespace catpack {

// Every byte of an old-format member is stored XORed with this key.
inline constexpr unsigned char dataKey = 0x4B;

// The file holding the entry's bytes: catalog + ".dat" for a member,
// folder + "/" + name for a folder file.
std::string memberSourcePath(const EntryView& entry);

// Opens the entry's `size` stored bytes (still scrambled for an old-format
// member), through a descriptor of `held` where it has one; nothing after
// the loader's message.
std::optional<RangeReader> openStoredBytes(const EntryView& entry,
                                           const OpenFiles* held = nullptr);

// As openStoredBytes, without any message: the caller opens the bytes
// again with openStoredBytes to have a failure told.
std::optional<RangeReader> openStoredBytesQuietly(const EntryView& entry, const OpenFiles* held);

// Opens the data file of every catalog that members of `index` come from and
// holds it in `held` for the length of a write.
void holdCatalogDataOpen(const FileIndex& index, OpenFiles& held);

// How streaming an entry's bytes ended.
enum class StreamOutcome { complete, readFailed, sinkFailed };

// Hands every remaining byte of `source` to `sink`, piece by piece, each
// piece XORed with the data key first when `toggleScrambling` is set. Stops
// at a failed read (after the loader's message) or when `sink` gives false.
StreamOutcome streamBytes(RangeReader& source, bool toggleScrambling,
                          const std::function<bool(const unsigned char*, std::uint32_t)>& sink);

// The MD5 text of the entry's plain content: its stated digest when it has
// one, else computed from its source; empty when it cannot be had.
std::string entryDigest(const EntryView& entry);

}  // namespace catpack
