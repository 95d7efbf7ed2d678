// The operating-system calls the program makes, behind one small interface.
// Only this layer includes system headers; posix/ and win32/ implement it,
// and the build picks one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace catpack::platform {

// What a status query tells about a path.
struct PathStatus {
  bool isFolder = false;
  bool isRegular = false;             // a plain file (not a FIFO, socket or device)
  bool isLink = false;                // a symbolic link (only from queryLinkStatus)
  std::uint64_t size = 0;
  std::int64_t modificationTime = 0;  // seconds since 1970-01-01 UTC
  std::uint32_t permissions = 0;      // permission bits
  std::uint32_t owner = 0;            // owning user and group
  std::uint32_t group = 0;
};

// Fills `status` for `path`, following links; false when the path cannot be
// examined.
bool queryPathStatus(const std::string& path, PathStatus& status);

// Fills `status` for `path` itself: a symbolic link is not followed.
bool queryLinkStatus(const std::string& path, PathStatus& status);

// The path that `path` finally leads to when it is a symbolic link (or a
// chain of them); `path` itself otherwise. The end of the chain need not
// exist. Gives `path` unchanged when the chain cannot be followed.
std::string resolveLinks(const std::string& path);

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

// Whether the system's absolute paths begin with "/", so that an argument
// beginning with one may be a path rather than a switch.
bool absolutePathsBeginWithSlash();

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

// Cleanup should the process be interrupted (SIGINT, SIGTERM, SIGHUP; the
// console's Ctrl-C, Ctrl-Break and close events on Windows): registered
// files are removed and registered appends cut back, then the process ends
// as the interruption would have ended it.

// Installs the interruption handling; called once, before any writing.
void installInterruptCleanup();

// A registration of cleanup work; `noCleanup` when none could be made.
using CleanupSlot = int;
inline constexpr CleanupSlot noCleanup = -1;

// Registers `path` for removal on interruption.
CleanupSlot removeOnInterrupt(const std::string& path);

// Drops a registration (nothing happens for `noCleanup`).
void forgetOnInterrupt(CleanupSlot slot);

// Does the registered cleanup work, as an interruption would, writes
// `message` to standard error unbuffered, and ends the process at once with
// `exitCode`: for a run that cannot go on. Allocates nothing.
[[noreturn]] void cleanUpAndExit(const char* message, int exitCode);

// A file descriptor; `noDescriptor` when there is none.
using Descriptor = int;
inline constexpr Descriptor noDescriptor = -1;

// Whether the open descriptor `stream` (2 for standard error) is a
// terminal or console a user is looking at.
bool isTerminal(Descriptor stream);

// Opens an existing regular file for reading, without ever blocking; a
// folder, FIFO, socket or device cannot be opened.
Descriptor openForReading(const std::string& path);

// As openForReading, also setting `length` to the file's size as it was
// when opened, so that no further status query is needed for it.
Descriptor openForReadingWithLength(const std::string& path, std::int64_t& length);

// Seeks to `offset` from the start; gives the new position, or -1.
std::int64_t seekFromStart(Descriptor file, std::uint64_t offset);

// Size of an open file; -1 when it is not a regular file or unknown.
std::int64_t regularFileSize(Descriptor file);

// Reads up to `count` bytes at `offset`, leaving the file position alone;
// gives the number read, 0 at the end, -1 on error.
std::int64_t readAt(Descriptor file, void* buffer, std::size_t count, std::uint64_t offset);

// Writes all `count` bytes; false when any of them could not be written.
bool writeAll(Descriptor file, const void* bytes, std::size_t count);

// Copies up to `count` bytes of `from`, starting at `offset`, to the current
// position of `to` without passing them through this process, where the
// file systems can; gives the number copied, 0 when `from` ends there or the
// bytes cannot be copied so (then they are read and written instead).
std::size_t copyBetween(Descriptor from, std::uint64_t offset, Descriptor to, std::size_t count);

// Closes the descriptor; false when the close reported an error.
bool closeDescriptor(Descriptor file);

// Creates a new file in the folder of `targetPath` under a short name no
// file has yet (its length does not depend on the target's), with the
// permission bits `permissions` where given, else those a new file gets by
// default; sets `createdPath`, and `cleanup` to its registration for
// removal on interruption, which the caller forgets once the file is
// renamed or removed.
Descriptor createTemporaryBeside(const std::string& targetPath, std::string& createdPath,
                                 CleanupSlot& cleanup, const std::uint32_t* permissions = nullptr);

// Creates the file `path`, which must not exist yet (nor be a link), with
// the permissions a new file gets by default; noDescriptor otherwise. Sets
// `cleanup` to its registration for removal on interruption, which the
// caller forgets once the file is complete. Safe on any thread: no
// interruption is taken between the creation and the registration.
Descriptor createNewFile(const std::string& path, CleanupSlot& cleanup);

// A short unused name in the folder of `targetPath`, for a link or a copy.
std::string temporaryNameBeside(const std::string& targetPath);

// Registers cutting the open `file` back to `size` bytes on interruption.
CleanupSlot cutBackOnInterrupt(Descriptor file, std::uint64_t size);

// Opens a file for appending, creating it when it is missing.
Descriptor openForAppending(const std::string& path);

// Cuts an open file back to `size` bytes.
bool truncateFile(Descriptor file, std::uint64_t size);

// Gives an open file the permission bits `permissions`.
bool setPermissions(Descriptor file, std::uint32_t permissions);

// Gives an open file the owner and group; false where the process may not.
bool setOwner(Descriptor file, std::uint32_t owner, std::uint32_t group);

// Sets an open file's last-modification time, leaving its access time alone.
bool setModificationTime(Descriptor file, std::uint32_t secondsSince1970);

// Whether the process may write to the existing file `path`.
bool isWritable(const std::string& path);

// Durability: what has been written survives a power cut only once it is
// flushed to the disk.

// Waits until the disk holds every byte written to the open `file`, with its
// size and times; false when the system reports that they could not all be
// written.
bool flushFile(Descriptor file);

// Waits until the disk holds every byte written to the open `file` and its
// size, but not necessarily its times: for a flush made while the file is
// still being written, ahead of its last flushFile.
bool flushFileBytes(Descriptor file);

// Flushes the `count` files of `files` as flushFile does, and the names
// made in `folders` as flushFolders does, all together: much quicker than
// one after the other where the system can write all of them back in one
// go. Sets `flushed[i]` to whether the `i`th file was flushed; gives
// whether the folders were.
bool flushTogether(const Descriptor* files, std::size_t count, bool* flushed,
                   const std::vector<std::string>& folders);

// Starts writing the bytes `from` to `to` of the open `file` back to the
// disk without waiting for them, so that a later flush has less to wait for.
void startWriteBack(Descriptor file, std::uint64_t from, std::uint64_t to);

// How many files the process may hold open at once.
std::size_t openFileLimit();

// Waits until the disk holds the names made, renamed or removed in each of
// the `folders`; false when that could not be made sure of for any of them.
bool flushFolders(const std::vector<std::string>& folders);

// The folder that holds the file at `path` (the working folder for a bare
// name), as flushFolders takes it.
std::string folderHolding(const std::string& path);

// Renames `from` to `to`, replacing a file already at `to`.
bool renameReplacing(const std::string& from, const std::string& to);

// Removes a file; false when it could not be removed.
bool removeFile(const std::string& path);

// Makes `linkPath` a second name of the existing file `existingPath`.
bool makeHardLink(const std::string& existingPath, const std::string& linkPath);

// An exclusive lock that one writer of a file holds and every other writer
// of the same file waits for (writers of other files in the same folder may
// wait too); it leaves nothing behind on disk and ends with the process at
// the latest.
class WriterLock;
struct WriterLockReleaser {
  void operator()(WriterLock* lock) const;
};
using WriterLockHandle = std::unique_ptr<WriterLock, WriterLockReleaser>;

// Waits for and takes the writer locks of all `paths` (which need not exist
// yet), always in the same order, so that two writers never wait for each
// other; null when a folder to lock cannot be opened. Where the file system
// cannot lock at all, the lock is had without excluding anyone.
WriterLockHandle lockForWriting(const std::vector<std::string>& paths);

// Holds interruptions back while it lives, so that a sequence of steps
// (the renames that put a catalog in place) is never cut in the middle; an
// interruption that came meanwhile takes effect when it goes away.
class InterruptDeferral {
 public:
  InterruptDeferral();
  ~InterruptDeferral();
  InterruptDeferral(const InterruptDeferral&) = delete;
  InterruptDeferral& operator=(const InterruptDeferral&) = delete;
};

// Registers how many columns of a status line standard error shows now, to
// be blanked out by an interruption before the process ends (0: none).
void blankOnInterrupt(std::size_t columns);

// Makes the calling thread (a helper thread) never receive interruptions,
// so that they reach the thread that registered the cleanup work.
void keepInterruptsFromThisThread();

// Opens a binary input stream on an existing file that is not a folder.
std::FILE* openInputStream(const std::string& path);

// Makes big memory blocks come from the system and go back to it when
// freed, so that the memory one phase of a run frees does not stay with the
// process while the next phase takes fresh blocks.
void returnBigBlocksToSystem();

// Asks the system to back the `size` bytes at `block` with large pages
// where it can, so that filling them costs few page faults and walking
// them at random few address translations; a hint only.
void preferLargePages(void* block, std::size_t size);

}  // namespace catpack::platform
