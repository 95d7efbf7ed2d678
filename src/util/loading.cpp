#include "util/loading.h"

#include "util/console.h"
#include "util/file_status.h"
#include "util/large_blocks.h"
#include "util/text.h"
#include "util/workers.h"

namespace catpack {

namespace {

constexpr std::uint32_t firstImpossibleSize = 0x80000000u;
// The most one system call is asked to read.
constexpr std::uint32_t largestRead = 1u << 30;
// Files from this size on are loaded on two threads, where there are two.
constexpr std::uint32_t twoThreadLoadSize = 8u << 20;

// Reads `count` bytes at `position` of `file`, without a message; false when
// they cannot all be had.
bool readWhole(platform::Descriptor file, unsigned char* into, std::uint32_t count,
               std::uint64_t position) {
  for (std::uint32_t arrived = 0; arrived < count;) {
    const std::uint32_t missing = count - arrived;
    const std::int64_t got = platform::readAt(file, into + arrived,
                                              missing < largestRead ? missing : largestRead,
                                              position + arrived);
    if (got <= 0) return false;
    arrived += static_cast<std::uint32_t>(got);
  }
  return true;
}

// Bytes read while line feeds are counted come this many at a time, so
// that each piece is counted while it is still in cache.
constexpr std::uint32_t countedPiece = 1u << 20;

// As readWhole, adding the line feeds among the bytes to `feeds` when it
// is given.
bool readAndCount(platform::Descriptor file, unsigned char* into, std::uint32_t count,
                  std::uint64_t position, std::size_t* feeds) {
  if (feeds == nullptr) return readWhole(file, into, count, position);
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t piece = count - done < countedPiece ? count - done : countedPiece;
    if (!readWhole(file, into + done, piece, position + done)) return false;
    *feeds += countLineFeeds(into + done, piece);
    done += piece;
  }
  return true;
}

void reportAllocationFailure(std::uint32_t size, const std::string& path) {
  printErr("[Load] Failed to allocate %d bytes for file %s\n", static_cast<std::int32_t>(size),
           path.c_str());
}

}  // namespace

OpenFiles::~OpenFiles() { closeAll(); }

void OpenFiles::closeAll() {
  for (const auto& [path, held] : files_) platform::closeDescriptor(held.file);
  files_.clear();
}

void OpenFiles::holdOpen(const std::string& path) {
  if (files_.count(path) != 0) return;
  const platform::Descriptor file = platform::openForReading(path);
  if (file != platform::noDescriptor) files_.emplace(path, Held{file, platform::regularFileSize(file)});
}

OpenFiles::Held OpenFiles::find(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? Held{} : found->second;
}

std::optional<RangeReader> RangeReader::open(const std::string& path, std::uint32_t size,
                                             std::uint64_t offset, const OpenFiles* held) {
  return openTelling(path, size, offset, held, true);
}

std::optional<RangeReader> RangeReader::openQuietly(const std::string& path, std::uint32_t size,
                                                    std::uint64_t offset, const OpenFiles* held) {
  return openTelling(path, size, offset, held, false);
}

std::optional<RangeReader> RangeReader::openTelling(const std::string& path, std::uint32_t size,
                                                    std::uint64_t offset, const OpenFiles* held,
                                                    bool tell) {
  OpenFiles::Held known = held ? held->find(path) : OpenFiles::Held{};
  platform::Descriptor file = known.file;
  const bool owned = file == platform::noDescriptor;
  if (owned) file = platform::openForReadingWithLength(path, known.length);
  if (file == platform::noDescriptor) {
    if (tell) printErr("[Load] Failed to open file %s\n", path.c_str());
    return std::nullopt;
  }
  RangeReader reader(path, file, owned, size, offset);
  // A range inside the file as long as it was when opened can be reached
  // and read: the checks below need no system call for it.
  if (known.length >= 0 && size < firstImpossibleSize &&
      offset + size <= static_cast<std::uint64_t>(known.length)) {
    return reader;
  }
  const std::int64_t position = platform::seekFromStart(file, offset);
  if (position < 0 || static_cast<std::uint64_t>(position) != offset) {
    if (tell) printErr("[Load] Failed to seek to absolute offset in file %s\n", path.c_str());
    return std::nullopt;
  }
  if (size >= firstImpossibleSize) {
    if (tell) reportAllocationFailure(size, path);
    return std::nullopt;
  }
  // A range that runs past the end of a regular file cannot be read whole:
  // it fails as a short read before anything is allocated for it.
  const std::int64_t length = platform::regularFileSize(file);
  if (size != 0 && length >= 0 && offset + size > static_cast<std::uint64_t>(length)) {
    if (tell) printErr("[Load] Failed to read from file %s\n", path.c_str());
    return std::nullopt;
  }
  return reader;
}

RangeReader::RangeReader(RangeReader&& other) noexcept
    : path_(std::move(other.path_)),
      file_(other.file_),
      owned_(other.owned_),
      remaining_(other.remaining_),
      position_(other.position_) {
  other.file_ = platform::noDescriptor;
}

RangeReader& RangeReader::operator=(RangeReader&& other) noexcept {
  if (this != &other) {
    if (owned_ && file_ != platform::noDescriptor) platform::closeDescriptor(file_);
    path_ = std::move(other.path_);
    file_ = other.file_;
    owned_ = other.owned_;
    remaining_ = other.remaining_;
    position_ = other.position_;
    other.file_ = platform::noDescriptor;
  }
  return *this;
}

RangeReader::~RangeReader() {
  if (owned_ && file_ != platform::noDescriptor) platform::closeDescriptor(file_);
}

bool RangeReader::read(unsigned char* into, std::uint32_t count, std::size_t* feeds) {
  if (!readAndCount(file_, into, count, position_, feeds)) {
    reportReadFailure();
    remaining_ = 0;
    return false;
  }
  position_ += count;
  remaining_ -= count;
  return true;
}

bool RangeReader::readQuietly(unsigned char* into, std::uint32_t count) {
  if (!readWhole(file_, into, count, position_)) return false;
  position_ += count;
  remaining_ -= count;
  return true;
}

bool RangeReader::readQuietlyAt(unsigned char* into, std::uint32_t count,
                                std::uint64_t position) const {
  return readWhole(file_, into, count, position);
}

std::uint32_t RangeReader::copyQuietlyTo(platform::Descriptor target, std::uint32_t count) {
  if (count > remaining_) count = remaining_;
  std::uint32_t copied = 0;
  while (copied < count) {
    const std::size_t step = platform::copyBetween(file_, position_, target, count - copied);
    if (step == 0) break;
    copied += static_cast<std::uint32_t>(step);
    position_ += step;
  }
  remaining_ -= copied;
  return copied;
}

void RangeReader::reportReadFailure() const {
  printErr("[Load] Failed to read from file %s\n", path_.c_str());
}

bool RangeReader::readOnTwoThreads(unsigned char* into, std::uint32_t count, LineFeedCount* feeds) {
  const std::uint32_t half = count / 2;
  const std::uint64_t laterPosition = position_ + half;
  bool laterRead = false;
  std::size_t laterFeeds = 0;
  {
    const HelperThreads helper(1, [&] {
      laterRead = readAndCount(file_, into + half, count - half, laterPosition,
                               feeds ? &laterFeeds : nullptr);
    });
    if (!read(into, half, feeds ? &feeds->firstHalf : nullptr)) return false;
  }
  if (laterRead) {
    if (feeds) feeds->secondHalf += laterFeeds;
    position_ += count - half;
    remaining_ -= count - half;
    return true;
  }
  // A later half the helper could not have is read (and counted) again
  // here, so that its failure is told as read() tells it.
  return read(into + half, count - half, feeds ? &feeds->secondHalf : nullptr);
}

namespace {

// loadRange, counting line feeds into `feeds` when it is given.
std::optional<ByteBuffer> loadCounting(const std::string& path, std::uint32_t size,
                                       std::uint64_t offset, LineFeedCount* feeds) {
  std::optional<RangeReader> reader = RangeReader::open(path, size, offset);
  if (!reader) return std::nullopt;
  ByteBuffer buffer = ByteBuffer::allocate(size);
  if (!buffer.allocated()) {
    reportAllocationFailure(size, path);
    return std::nullopt;
  }
  const bool twoThreads = size >= twoThreadLoadSize && helperThreadCount() > 0;
  bool loaded = false;
  if (twoThreads) {
    loaded = reader->readOnTwoThreads(buffer.data(), size, feeds);
  } else if (feeds) {
    loaded = reader->read(buffer.data(), size / 2, &feeds->firstHalf) &&
             reader->read(buffer.data() + size / 2, size - size / 2, &feeds->secondHalf);
  } else {
    loaded = reader->read(buffer.data(), size);
  }
  if (!loaded) return std::nullopt;
  return buffer;
}

}  // namespace

std::optional<ByteBuffer> loadRange(const std::string& path, std::uint32_t size,
                                    std::uint64_t offset) {
  return loadCounting(path, size, offset, nullptr);
}

std::optional<FileRoom> openFileRoom(const std::string& path) {
  const auto size = static_cast<std::uint32_t>(fileSize(path));
  std::optional<RangeReader> reader = RangeReader::open(path, size, 0);
  if (!reader) return std::nullopt;
  ByteBuffer room = ByteBuffer::allocate(size);
  if (!room.allocated()) {
    reportAllocationFailure(size, path);
    return std::nullopt;
  }
  preferLargePagesFor(room.data(), room.size());
  return FileRoom{std::move(*reader), std::move(room)};
}

std::optional<ByteBuffer> loadFile(const std::string& path, LineFeedCount* feeds) {
  if (feeds) *feeds = {};
  return loadCounting(path, static_cast<std::uint32_t>(fileSize(path)), 0, feeds);
}

}  // namespace catpack
