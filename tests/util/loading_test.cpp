#include "util/loading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/platform.h"
#include "support/platform_facts.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using testing::TempFolder;

std::string asText(const ByteBuffer& buffer) {
  return std::string(reinterpret_cast<const char*>(buffer.data()), buffer.size());
}

TEST(LoadRange, GivesExactlyTheRequestedBytes) {
  TempFolder folder;
  folder.write("data", "0123456789");
  CaptureStderr();
  std::optional<ByteBuffer> middle = loadRange(folder.at("data"), 4, 3);
  std::optional<ByteBuffer> none = loadRange(folder.at("data"), 0, 10);
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_TRUE(middle);
  EXPECT_EQ(asText(*middle), "3456");
  ASSERT_TRUE(none);
  EXPECT_EQ(none->size(), 0u);
}

TEST(LoadRange, ReportsEachFailureWithThePathAsGiven) {
  TempFolder folder;
  folder.write("data", "0123456789");
  folder.makeFolder("sub");
  const std::string data = folder.at("data");
  struct Case {
    std::string path;
    std::uint32_t size;
    std::uint64_t offset;
    std::string message;
  } cases[] = {
      {folder.at("missing"), 1, 0, "[Load] Failed to open file " + folder.at("missing") + "\n"},
      {folder.at("sub"), 1, 0, "[Load] Failed to open file " + folder.at("sub") + "\n"},
      {data, 5, 8, "[Load] Failed to read from file " + data + "\n"},
      {data, 1, 10, "[Load] Failed to read from file " + data + "\n"},
      {data, 1, 0xFFFFFFFFFFFFFFF0ull, "[Load] Failed to seek to absolute offset in file " + data + "\n"},
      {data, 0x80000000u, 0, "[Load] Failed to allocate -2147483648 bytes for file " + data + "\n"},
      {data, 0xFFFFFFFFu, 0, "[Load] Failed to allocate -1 bytes for file " + data + "\n"},
  };
  for (const Case& c : cases) {
    CaptureStderr();
    EXPECT_FALSE(loadRange(c.path, c.size, c.offset)) << c.message;
    EXPECT_EQ(GetCapturedStderr(), c.message);
  }
}

TEST(LoadRange, ReachesOffsetsBeyondFourGibibytes) {
  TempFolder folder;
  folder.write("sparse", "");
  const std::uint64_t far = 5ull << 30;
  folder.resize("sparse", far);
  {
    FILE* file = std::fopen(folder.at("sparse").c_str(), "ab");
    std::fputs("tail", file);
    std::fclose(file);
  }
  std::optional<ByteBuffer> tail = loadRange(folder.at("sparse"), 4, far);
  ASSERT_TRUE(tail);
  EXPECT_EQ(asText(*tail), "tail");
  std::optional<ByteBuffer> hole = loadRange(folder.at("sparse"), 3, far - 3);
  ASSERT_TRUE(hole);
  EXPECT_EQ(asText(*hole), std::string(3, '\0'));
}

TEST(RangeReader, CopiesToAFileWhatItCanAndLeavesTheRestToRead) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "a file being read cannot be cut short here";
  TempFolder folder;
  const std::string bytes = testing::randomBytes(3u << 20, 5);
  folder.write("source", bytes);
  const std::uint64_t start = 1000;
  const std::uint32_t size = 2u << 20;
  std::optional<RangeReader> range = RangeReader::open(folder.at("source"), size, start);
  ASSERT_TRUE(range);
  platform::CleanupSlot cleanup = platform::noCleanup;
  const platform::Descriptor target = platform::createNewFile(folder.at("target"), cleanup);
  ASSERT_NE(target, platform::noDescriptor);
  platform::forgetOnInterrupt(cleanup);
  std::vector<unsigned char> buffer(size);
  // Whatever is not copied is read and written, as a caller does.
  const auto copyOrRead = [&](std::uint32_t count) {
    const std::uint32_t copied = range->copyQuietlyTo(target, count);
    EXPECT_LE(copied, count);
    const std::uint32_t rest = count - copied;
    const bool read = range->read(buffer.data(), rest);
    EXPECT_TRUE(!read || platform::writeAll(target, buffer.data(), rest));
    return read ? count : copied;
  };
  std::uint32_t arrived = copyOrRead(size / 2);
  EXPECT_EQ(arrived, size / 2);
  // Cut short while it is read: the bytes still there arrive, then the
  // reading fails and says so.
  folder.resize("source", start + size * 3 / 4);
  CaptureStderr();
  arrived += copyOrRead(size / 2);
  EXPECT_EQ(GetCapturedStderr(), "[Load] Failed to read from file " + folder.at("source") + "\n");
  EXPECT_EQ(range->remaining(), 0u);
  EXPECT_TRUE(platform::closeDescriptor(target));
  const std::string written = folder.read("target");
  EXPECT_GE(written.size(), size / 2);
  EXPECT_LE(written.size(), size * 3 / 4);
  EXPECT_TRUE(written == bytes.substr(start, written.size())) << "the target holds other bytes";
}

TEST(LoadFile, LoadsWholeFilesAndFailsForMissingOnes) {
  TempFolder folder;
  folder.write("empty", "");
  folder.write("text", "hello");
  CaptureStderr();
  std::optional<ByteBuffer> empty = loadFile(folder.at("empty"));
  std::optional<ByteBuffer> text = loadFile(folder.at("text"));
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->size(), 0u);
  ASSERT_TRUE(text);
  EXPECT_EQ(asText(*text), "hello");

  CaptureStderr();
  EXPECT_FALSE(loadFile(folder.at("missing")));
  EXPECT_EQ(GetCapturedStderr(), "[Load] Failed to open file " + folder.at("missing") + "\n");
}

TEST(LoadFile, ABigFileReadInTwoHalvesIsWholeAndInOrder) {
  // Big enough to be read on two threads; every 4-byte word tells its place.
  TempFolder folder;
  std::string bytes;
  for (std::uint32_t word = 0; word < (9u << 20) / 4 + 1; ++word) {
    bytes.append(reinterpret_cast<const char*>(&word), sizeof word);
  }
  folder.write("big", bytes);
  CaptureStderr();
  std::optional<ByteBuffer> loaded = loadFile(folder.at("big"));
  EXPECT_EQ(GetCapturedStderr(), "");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(asText(*loaded) == bytes);
}

TEST(LoadFile, CountsTheLineFeedsOfEachHalfOnTheWay) {
  // Small files are read on one thread, big ones on two; line feeds lie at
  // both ends, around the middle and across the pieces counted.
  std::mt19937 random(3);
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{3} << 20,
                                 (std::size_t{9} << 20) + 3}) {
    std::string bytes(size, 'x');
    for (std::size_t at = 0; at < size; at += 1 + random() % 200) bytes[at] = '\n';
    for (const std::size_t at : {size / 2 - 1, size / 2, size - 1}) {
      if (at < size) bytes[at] = '\n';
    }
    TempFolder folder;
    folder.write("text", bytes);
    LineFeedCount feeds{99, 99};
    std::optional<ByteBuffer> loaded = loadFile(folder.at("text"), &feeds);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(asText(*loaded) == bytes);
    const auto middle = bytes.begin() + static_cast<std::ptrdiff_t>(size / 2);
    EXPECT_EQ(feeds.firstHalf, static_cast<std::size_t>(std::count(bytes.begin(), middle, '\n')))
        << size;
    EXPECT_EQ(feeds.secondHalf, static_cast<std::size_t>(std::count(middle, bytes.end(), '\n')))
        << size;
  }
}

TEST(LoadFile, AFileOfTwoGibibytesFailsAtAllocation) {
  TempFolder folder;
  folder.write("big", "");
  folder.resize("big", 0x80000000u);
  CaptureStderr();
  EXPECT_FALSE(loadFile(folder.at("big")));
  EXPECT_EQ(GetCapturedStderr(),
            "[Load] Failed to allocate -1 bytes for file " + folder.at("big") + "\n");
}

TEST(ByteBuffer, XorWithScramblesEveryByteAndUndoesItself) {
  for (std::uint32_t size : {0u, 1u, 7u, 8u, 9u, 100u}) {
    ByteBuffer buffer = ByteBuffer::allocate(size);
    for (std::uint32_t i = 0; i < size; ++i) buffer.data()[i] = static_cast<unsigned char>(i);
    buffer.xorWith(0x4B);
    for (std::uint32_t i = 0; i < size; ++i) EXPECT_EQ(buffer.data()[i], (i ^ 0x4B) & 0xFF);
    buffer.xorWith(0x4B);
    for (std::uint32_t i = 0; i < size; ++i) EXPECT_EQ(buffer.data()[i], i & 0xFF);
  }
}

}  // namespace
}  // namespace catpack
