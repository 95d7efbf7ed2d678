// The operating-system calls the program makes, behind one small interface.
// Only this layer includes system headers; posix/ implements it now, and a
// win32/ implementation can be put beside it without touching anything else.
#pragma once

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
  std::uint64_t device = 0;           // device and inode identify a folder
  std::uint64_t inode = 0;
  std::uint32_t permissions = 0;      // permission bits
};

// Fills `status` for `path`; false when the path cannot be examined.
bool queryPathStatus(const std::string& path, PathStatus& status);

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
