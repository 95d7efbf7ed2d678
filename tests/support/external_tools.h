// Reference results from programs outside the project, and the old index
// scrambling written out independently of the program's own code.
#pragma once

#include <string>

namespace catpack::testing {

// The MD5 digest of the file at `path` in lowercase hexadecimal, as the
// system computes it: md5sum on POSIX, the cryptographic provider on Windows.
std::string md5sumOf(const std::string& path);

// The same for `bytes`.
std::string md5sumOfBytes(const std::string& bytes);

// The current-format index line of a member `name` holding `bytes`.
std::string currentIndexLine(const std::string& name, const std::string& bytes, int time);

// `text` under the old index key, as stored from file position `position` on.
std::string oldIndexText(const std::string& text, std::size_t position = 0);

// `bytes` XORed with the old-format data key.
std::string underDataKey(std::string bytes);

}  // namespace catpack::testing
