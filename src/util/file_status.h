// The file-status queries by which paths are classified and files sized.
#pragma once

#include <cstdint>
#include <string>

namespace catpack {

// Size of the file in bytes; -2 for a folder; -1 when the path cannot be
// examined, is neither a plain file nor a folder, or the size does not fit
// in a signed 32-bit value.
std::int32_t fileSize(const std::string& path);

// fileSize of `path`, and in `time` its last-modification time in seconds
// since 1970, both from one look at it; the time is 0 when the path cannot
// be examined or its size does not fit in a signed 32-bit value.
std::int32_t fileSizeAndTime(const std::string& path, std::int64_t& time);

}  // namespace catpack
