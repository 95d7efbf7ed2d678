// The operating-system calls the program makes, behind one small interface.
// Only this layer includes system headers; posix/ and win32/ implement it,
// and the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace catpack::platform {

// What a status query tells about a path (links are followed).
struct PathStatus {
  bool isFolder = false;
  std::uint64_t size = 0;
  std::int64_t modificationTime = 0;  // seconds since 1970-01-01 UTC
  std::uint32_t permissions = 0;      // permission bits
};

// Fills `status` for `path`; false when the path cannot be examined.
bool queryPathStatus(const std::string& path, PathStatus& status);

// Size of the file at `path` found by seeking a binary stream to its end;
// -1 when the file cannot be opened or the position cannot be had.
std::int64_t sizeBySeekingToEnd(const std::string& path);

// What tells one folder from every other on the machine (links followed).
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FolderIdentity&) const = default;
};

// Fills `identity` for the folder at `path`; false when it cannot be had.
bool identifyFolder(const std::string& path, FolderIdentity& identity);

// The byte that joins a folder and a name into a full path.
char pathSeparator();

// Whether names holding a ":" are refused in folder output (they would
// name a drive or a stream rather than a file).
bool refusesColonInNames();

// One open listing of a folder's entries, "." and ".." included.
class FolderReader;
struct FolderReaderCloser {
  void operator()(FolderReader* reader) const;
};
using FolderHandle = std::unique_ptr<FolderReader, FolderReaderCloser>;

// Opens the listing of `path`; null when the folder cannot be listed.
FolderHandle openFolder(const std::string& path);

// Sets `name` to the next entry's name; false at the end or on an error.
bool readFolderEntry(FolderReader& reader, std::string& name);

// Creates one folder level; the result says whether it was created.
bool makeFolder(const std::string& path);

// A file descriptor; `noDescriptor` when there is none.
using Descriptor = int;
inline constexpr Descriptor noDescriptor = -1;

// Opens an existing file for reading; a folder cannot be opened.
Descriptor openForReading(const std::string& path);

// Seeks to `offset` from the start; gives the new position, or -1.
std::int64_t seekFromStart(Descriptor file, std::uint64_t offset);

// Size of an open file; -1 when it is not a regular file or unknown.
std::int64_t regularFileSize(Descriptor file);

// Reads up to `count` bytes; gives the number read, 0 at the end, -1 on error.
std::int64_t readSome(Descriptor file, void* buffer, std::size_t count);

// Writes all `count` bytes; false when any of them could not be written.
bool writeAll(Descriptor file, const void* bytes, std::size_t count);

// Closes the descriptor; false when the close reported an error.
bool closeDescriptor(Descriptor file);

// Creates a new file beside `targetPath` under a name no file has yet,
// with the permissions a new file gets by default; sets `createdPath`.
Descriptor createTemporaryBeside(const std::string& targetPath, std::string& createdPath);

// Opens a file for appending, creating it when it is missing.
Descriptor openForAppending(const std::string& path);

// Cuts an open file back to `size` bytes.
bool truncateFile(Descriptor file, std::uint64_t size);

// Gives an open file the permission bits `permissions`.
bool setPermissions(Descriptor file, std::uint32_t permissions);

// Sets an open file's last-modification time, leaving its access time alone.
bool setModificationTime(Descriptor file, std::uint32_t secondsSince1970);

// Whether the process may write to the existing file `path`.
bool isWritable(const std::string& path);

// Renames `from` to `to`, replacing a file already at `to`.
bool renameReplacing(const std::string& from, const std::string& to);

// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);

// Opens a binary input stream on an existing file that is not a folder.
std::FILE* openInputStream(const std::string& path);

}  // namespace catpack::platform
