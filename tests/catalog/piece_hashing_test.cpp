// Digests of member bytes handed over in pieces and as bytes to read back
// from the data file, in any mix, by any number of helpers; and other work
// handed over to whichever thread is free.
#include "catalog/piece_hashing.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "digest/md5.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::randomBytes;

// Stands in for the data file: member bytes as written, and how many
// times they were read back.
struct DataFile {
  std::string bytes;
  std::atomic<int> reads{0};  // counted from any thread
  bool failing = false;

  PieceHashing::ReadBack reader() {
    return [this](std::uint64_t at, unsigned char* into, std::uint32_t count) {
      ++reads;
      if (failing || at + count > bytes.size()) return false;
      std::memcpy(into, bytes.data() + at, count);
      return true;
    };
  }
};

// Hands `member`'s bytes (at `start` in the data file) over in parts of
// `part` bytes, every other part to be read back.
void handOver(PieceHashing& hashing, PieceHashing::Member* member, const DataFile& data,
              std::uint64_t start, std::uint64_t length, std::uint32_t part) {
  bool readBack = false;
  for (std::uint64_t done = 0; done < length; done += part, readBack = !readBack) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(part, length - done));
    if (readBack) {
      hashing.hashWritten(member, start + done, count);
    } else {
      unsigned char* piece = hashing.takePiece();
      std::memcpy(piece, data.bytes.data() + start + done, count);
      hashing.hashPiece(member, piece, count);
    }
  }
  hashing.endMember(member);
}

TEST(PieceHashing, PiecesAndBytesReadBackMakeTheDigestOfTheWhole) {
  DataFile data;
  data.bytes = randomBytes(3 << 20, 1) + randomBytes(1000, 2);
  for (unsigned helpers : {0u, 1u, 3u}) {
    PieceHashing hashing(helpers, 1 << 20);
    hashing.readBackWith(data.reader());
    PieceHashing::Member* first = hashing.beginMember();
    PieceHashing::Member* second = hashing.beginMember();
    handOver(hashing, first, data, 0, 3 << 20, 300000);
    handOver(hashing, second, data, 3 << 20, 1000, 64);
    EXPECT_EQ(hashing.takeDigest(second),
              md5HexOfBuffer(data.bytes.data() + (3 << 20), 1000)) << helpers << " helpers";
    EXPECT_EQ(hashing.takeDigest(first), md5HexOfBuffer(data.bytes.data(), 3 << 20)) << helpers << " helpers";
  }
}

TEST(PieceHashing, AdjoiningBytesToReadBackAreReadTogether) {
  DataFile data;
  data.bytes = randomBytes(1 << 20, 3);
  PieceHashing hashing(0, 1 << 20);
  hashing.readBackWith(data.reader());
  PieceHashing::Member* member = hashing.beginMember();
  for (std::uint32_t at = 0; at < (1u << 20); at += 4096) hashing.hashWritten(member, at, 4096);
  hashing.endMember(member);
  EXPECT_EQ(hashing.takeDigest(member), md5HexOfBuffer(data.bytes.data(), 1 << 20));
  EXPECT_EQ(data.reads, 1);
}

TEST(PieceHashing, BytesThatCannotBeReadBackGiveNoDigest) {
  DataFile data;
  data.bytes = randomBytes(5000, 4);
  data.failing = true;
  PieceHashing hashing(1, 4096);
  hashing.readBackWith(data.reader());
  PieceHashing::Member* failed = hashing.beginMember();
  hashing.hashWritten(failed, 0, 5000);
  hashing.endMember(failed);
  PieceHashing::Member* dropped = hashing.beginMember();
  hashing.hashWritten(dropped, 0, 5000);
  hashing.dropMember(dropped);
  EXPECT_EQ(hashing.takeDigest(failed), "");
  hashing.stop();
}

TEST(PieceHashing, AsideWorkIsDoneOnceByAHelperOrByTheWaitingThread) {
  for (unsigned helpers : {0u, 1u, 3u}) {
    PieceHashing hashing(helpers, 1000);
    std::vector<PieceHashing::AsideWork> asides(50);
    std::vector<std::atomic<int>> runs(asides.size());
    for (std::size_t at = 0; at < asides.size(); ++at) {
      asides[at].work = [&runs, at] { ++runs[at]; };
      hashing.runAside(asides[at]);
    }
    // Waited for out of order: each is done once, whoever does it.
    for (std::size_t at = asides.size(); at-- > 0;) {
      hashing.waitFor(asides[at]);
      EXPECT_EQ(runs[at].load(), 1) << helpers << " helpers, work " << at;
    }
    hashing.stop();
    for (std::size_t at = 0; at < asides.size(); ++at) EXPECT_EQ(runs[at].load(), 1);
  }
}

TEST(PieceHashing, AsideWorkNotBegunWhenStoppingIsNeverDone) {
  PieceHashing hashing(0, 1000);
  int runs = 0;
  PieceHashing::AsideWork aside;
  aside.work = [&runs] { ++runs; };
  hashing.runAside(aside);
  hashing.stop();
  EXPECT_EQ(runs, 0);
}

TEST(PieceHashing, PiecesHoldManySmallMembers) {
  EXPECT_EQ(PieceHashing(0, 10).pieceBytes(), PieceHashing::smallestPieceSize);
  EXPECT_EQ(PieceHashing(0, 200000).pieceBytes(), 200000u);
  EXPECT_EQ(PieceHashing(0, 5000000).pieceBytes(), PieceHashing::pieceSize);
}

}  // namespace
}  // namespace catpack
