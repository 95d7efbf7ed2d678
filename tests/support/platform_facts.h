// What the tests expect differently on each platform, said once: how the
// console streams reach a file, how the program joins paths, what the file
// system can hold, and how file times and sizes are set from outside.
#pragma once

#include <cstdint>
#include <string>

namespace catpack::testing {

// `text` as the program's console streams put it into a file or a pipe
// (on Windows every line feed becomes CR LF).
std::string console(const std::string& text);

// `path` with every "/" replaced by the separator the program joins full
// paths with.
std::string native(const std::string& path);

// Whether the file system has POSIX permission bits, symbolic links, names
// holding any byte but "/" and NUL, per-process file size limits and tar.
bool hasPosixFileSystem();

// Whether every argument that begins with "/" is a switch (where absolute
// paths begin with a drive letter rather than with "/").
bool slashAlwaysBeginsASwitch();

// The file's last-modification time in seconds since 1970; -1 when unknown.
std::int64_t modificationTimeOf(const std::string& path);

// Sets the file's last-modification time; false when that fails.
bool setModificationTimeOf(const std::string& path, std::int64_t time);

// The file's size in bytes as the system reports it; -1 when unknown.
std::int64_t fileSizeOf(const std::string& path);

// Makes the file `size` bytes long, sparse where the file system allows.
bool resizeSparse(const std::string& path, std::uint64_t size);

}  // namespace catpack::testing
