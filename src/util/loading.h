// The one read path for file bytes: a byte range at a 64-bit offset, read
// whole or piece by piece, or a whole file. Every failure prints one
// "[Load] " message on standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "util/byte_buffer.h"

namespace catpack {

// Files held open for the length of a write, so that all ranges of one file
// are read through one descriptor: an open is saved per range, and the bytes
// read are those of the file as it was when it was first opened, even after
// the write has put another file in its place.
class OpenFiles {
 public:
  OpenFiles() = default;
  ~OpenFiles();
  OpenFiles(const OpenFiles&) = delete;
  OpenFiles& operator=(const OpenFiles&) = delete;

  // Opens `path` and holds it, without a message; a file that cannot be
  // opened now is opened (and its failure reported) when a range is read.
  void holdOpen(const std::string& path);

  // One file held open, and its length when it was opened.
  struct Held {
    platform::Descriptor file = platform::noDescriptor;
    std::int64_t length = -1;
  };

  // The file held for `path`; its descriptor is noDescriptor when none is.
  Held find(const std::string& path) const;

  // Closes every held file once no range is read any more (Windows cannot
  // rename a file over one that is open).
  void closeAll();

 private:
  std::unordered_map<std::string, Held> files_;
};

// The line feeds of a load, counted while its bytes arrive, when they are
// still in cache: those of its first half (its first size / 2 bytes) and
// those of the rest.
struct LineFeedCount {
  std::size_t firstHalf = 0;
  std::size_t secondHalf = 0;
};

// An open range of a file's bytes, read from its start to its end.
class RangeReader {
 public:
  // Opens the `size` bytes of `path` that start at `offset`, through the
  // descriptor `held` keeps for it if any; nothing after the loader's
  // message when the file cannot be opened, the offset cannot be reached,
  // the size can never be held, or the file is too short. An empty range
  // can always be read wherever the offset lands.
  static std::optional<RangeReader> open(const std::string& path, std::uint32_t size,
                                         std::uint64_t offset, const OpenFiles* held = nullptr);

  // As open(), without any message: for a caller that opens the range
  // again with open() to have the failure told.
  static std::optional<RangeReader> openQuietly(const std::string& path, std::uint32_t size,
                                                std::uint64_t offset, const OpenFiles* held = nullptr);

  RangeReader(RangeReader&& other) noexcept;
  RangeReader& operator=(RangeReader&& other) noexcept;
  ~RangeReader();

  // Reads the next `count` bytes of the range; false after the loader's
  // message when the file ends or fails before them. With `feeds`, adds
  // the line feeds among the bytes to it.
  bool read(unsigned char* into, std::uint32_t count, std::size_t* feeds = nullptr);

  // As read(), with the later half of the bytes read on a helper thread at
  // the same time; with `feeds`, counts the line feeds of each half.
  bool readOnTwoThreads(unsigned char* into, std::uint32_t count, LineFeedCount* feeds = nullptr);

  // As read(), without a message when the bytes cannot all be had (the
  // range is then left where it was).
  bool readQuietly(unsigned char* into, std::uint32_t count);

  // Reads `count` bytes at `position` of the file, without a message and
  // leaving the range where it is, so that threads may share the range out
  // among themselves; false when they cannot all be had.
  bool readQuietlyAt(unsigned char* into, std::uint32_t count, std::uint64_t position) const;

  // Copies up to `count` of the range's next bytes to the current position
  // of `target` without passing them through this process, without a
  // message; gives how many were copied, which may be fewer, even none,
  // where the file system cannot copy them all so (the rest are read).
  std::uint32_t copyQuietlyTo(platform::Descriptor target, std::uint32_t count);

  // Tells, as read() does, that the bytes of the range could not be had.
  void reportReadFailure() const;

  const std::string& path() const { return path_; }
  std::uint32_t remaining() const { return remaining_; }

 private:
  RangeReader(const std::string& path, platform::Descriptor file, bool owned,
              std::uint32_t size, std::uint64_t offset)
      : path_(path), file_(file), owned_(owned), remaining_(size), position_(offset) {}
  // open() and openQuietly(): the failure told on standard error with `tell`.
  static std::optional<RangeReader> openTelling(const std::string& path, std::uint32_t size,
                                                std::uint64_t offset, const OpenFiles* held,
                                                bool tell);

  std::string path_;
  platform::Descriptor file_;
  bool owned_;  // closed by this reader, not borrowed from OpenFiles
  std::uint32_t remaining_;
  std::uint64_t position_;
};

// `size` bytes of the file at `path` from `offset` on; nothing on failure.
std::optional<ByteBuffer> loadRange(const std::string& path, std::uint32_t size,
                                    std::uint64_t offset);

// A whole file opened for reading, and room for all of its bytes, allocated
// but not yet written, so that its reader chooses where they go.
struct FileRoom {
  RangeReader reader;
  ByteBuffer room;
};

// The file at `path` opened as loadFile opens it, with room for its bytes;
// nothing after the loader's message when it cannot be opened or the room
// cannot be had.
std::optional<FileRoom> openFileRoom(const std::string& path);

// The whole file: loadRange(path, fileSize(path), 0) with the size unsigned.
// With `feeds`, its line feeds are counted on the way.
std::optional<ByteBuffer> loadFile(const std::string& path, LineFeedCount* feeds = nullptr);

}  // namespace catpack
