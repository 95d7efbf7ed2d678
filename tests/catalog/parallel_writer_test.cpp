// The catalog writer with its digests worked out by helper threads writes
// what it writes without them: the same files and the same messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "catalog/catalog_reader.h"
#include "catalog/catalog_writer.h"
#include "digest/md5.h"
#include "index/diff.h"
#include "index/entry_content.h"
#include "support/external_tools.h"
#include "support/platform_facts.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::randomBytes;
using testing::TempFolder;
using testing::underDataKey;

std::string md5Of(const std::string& bytes) {
  return md5HexOfBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

// Both files of a written catalog and the messages of writing it.
struct Written {
  bool result;
  std::string index;
  std::string data;
  std::string messages;
  bool operator==(const Written&) const = default;
};

Written writeWith(const TempFolder& folder, const FileIndex& index, const std::string& name,
                  bool oldFormat, unsigned helpers) {
  CaptureStderr();
  const bool result = writeCatalog(index, folder.at(name), false, oldFormat, helpers);
  const std::string messages = GetCapturedStderr();
  return {result, folder.read(name + ".cat"), folder.read(name + ".dat"), messages};
}

// An index with members of every kind: folder files small and larger than
// a piece, some vanished or shrunk since the scan; old-format members, one
// of them past the end of its data file; current-format members with and
// without a stated digest; a deletion marker, an empty file, a member
// whose bytes load but whose name cannot be written.
class ParallelWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int number = 0; number < 200; ++number) {
      const std::string content = randomBytes(static_cast<std::size_t>(number * 53 % 9000), number);
      addFile("small/" + std::to_string(number) + ".bin", content);
    }
    addFile("big/one.bin", randomBytes((5 << 20) + 17, 7));
    addFile("big/two.bin", randomBytes(3 << 20, 8));
    // More than the pieces in flight hold: the rest is read back to be hashed.
    addFile("big/three.bin", randomBytes((12 << 20) + 5, 10));
    addFile("vanished.txt", "gone before the write");
    addFile("shrunk.txt", "shorter by the write");
    addFile("empty.txt", "");
    std::remove(folder.at("in/vanished.txt").c_str());
    folder.write("in/shrunk.txt", "short");

    const std::string oldMember = randomBytes(100000, 9);
    folder.write("old.dat", underDataKey(oldMember));
    index.addCatalogMember("old/member", 100000, 0, folder.at("old"), 0, "", true);
    index.addCatalogMember("old/past-the-end", 100000, 0, folder.at("old"), 50000, "", true);
    folder.write("cur.dat", "abcdefgh");
    index.addCatalogMember("cur/no-digest", 4, 3, folder.at("cur"), 2, "", false);
    index.addCatalogMember("cur/stated", 4, 3, folder.at("cur"), 0, "0123456789abcdef0123456789abcdef", false);
    index.addCatalogMember("cur/missing", 4, 3, folder.at("nowhere"), 0, "", false);
    index.addDeletion("deleted");
    index.addCatalogMember("bad\nname", 1, 1, folder.at("cur"), 0, "", false);
  }

  void addFile(const std::string& name, const std::string& content) {
    folder.write("in/" + name, content, 1000);
    index.addFolderFile(name, static_cast<std::int32_t>(content.size()), 1000, folder.at("in"));
  }

  TempFolder folder;
  FileIndex index;
};

TEST_F(ParallelWriter, OneThreadWritesEveryReadableMemberWithItsDigest) {
  const Written written = writeWith(folder, index, "one", false, 0);
  EXPECT_TRUE(written.result);
  EXPECT_EQ(written.messages,
            "Illegal file name bad\nname\n"
            "[Load] Failed to open file " + folder.at("nowhere") + ".dat\n" +
            "[Load] Failed to read from file " + folder.at("old") + ".dat\n" +
            "[Load] Failed to read from file " + folder.at("in") + "/shrunk.txt\n" +
            "[Load] Failed to open file " + folder.at("in") + "/vanished.txt\n");
  const std::string big = folder.read("in/big/one.bin");
  EXPECT_NE(written.index.find("big/one.bin " + std::to_string(big.size()) + " 1000 " + md5Of(big) + "\n"),
            std::string::npos);
  EXPECT_NE(written.index.find("cur/no-digest 4 3 " + md5Of("cdef") + "\n"), std::string::npos);
  EXPECT_NE(written.index.find("cur/stated 4 3 0123456789abcdef0123456789abcdef\n"), std::string::npos);
  const std::string oldMember = underDataKey(folder.read("old.dat"));
  EXPECT_NE(written.index.find("old/member 100000 0 " + md5Of(oldMember) + "\n"), std::string::npos);
  EXPECT_EQ(written.data.substr(0, big.size()), big);
}

TEST_F(ParallelWriter, HelpersChangeNeitherFilesNorMessages) {
  for (bool oldFormat : {false, true}) {
    const Written reference = writeWith(folder, index, "reference", oldFormat, 0);
    for (unsigned helpers : {1u, 2u, 5u}) {
      for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(writeWith(folder, index, "helped", oldFormat, helpers), reference)
            << helpers << " helpers, old format " << oldFormat << ", round " << round;
      }
    }
  }
}

TEST_F(ParallelWriter, ALineRefusedWhileTheFormatIsStillOpenLeavesNoBytes) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows paths stop at 260 bytes";
  // A first name so long that an old index would not show its format.
  const std::string level(250, 'a');
  const std::string longName = level + "/" + level + "/" + level + "/" + level + "/" + std::string(16, 'a');
  FileIndex first;
  first.addFolderFile(longName, 4, 1, folder.at("in"));
  folder.write("in/" + longName, "long");
  first.addFolderFile("b.txt", 2, 2, folder.at("in"));
  folder.write("in/b.txt", "bb");
  for (unsigned helpers : {0u, 1u, 3u}) {
    const Written written = writeWith(folder, first, "refused", true, helpers);
    EXPECT_EQ(written.messages, "Illegal file name " + longName + "\n");
    EXPECT_EQ(underDataKey(written.data), "bb");
  }
}

// Small members are read in pieces of many, on any thread and without a
// message; one that cannot be read so (vanished, shrunk, past the end of its
// catalog's data) is told in its key-order place among the others, at the
// start, middle or end of a piece and several in a row, and left out.
TEST(GatheredMembers, UnreadableOnesAreToldInTheirPlaceAndLeftOut) {
  TempFolder folder;
  FileIndex index;
  std::string expectedIndex;
  std::string expectedData;
  std::string expectedMessages;
  folder.write("cat.dat", randomBytes(1000, 3));
  // Enough bytes for several pieces of gathered members.
  constexpr int fileCount = 600;
  for (int number = 0; number < fileCount; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "f%04d.bin", number);
    const std::string content = randomBytes(static_cast<std::size_t>(1 + number * 977 % 4000), number);
    folder.write(std::string("in/") + name, content, 5000);
    if (number % 97 == 5 || number == 0 || number == fileCount - 1 || (number >= 300 && number < 304)) {
      // Vanished since the scan.
      index.addFolderFile(name, static_cast<std::int32_t>(content.size()), 5000, folder.at("in"));
      std::remove(folder.at(std::string("in/") + name).c_str());
      expectedMessages += "[Load] Failed to open file " + folder.at("in") + "/" + name + "\n";
    } else if (number % 131 == 7) {
      // Shrunk since the scan.
      index.addFolderFile(name, static_cast<std::int32_t>(content.size()) + 1, 5000, folder.at("in"));
      expectedMessages += "[Load] Failed to read from file " + folder.at("in") + "/" + name + "\n";
    } else if (number % 149 == 11) {
      // Beyond the end of its catalog's data file.
      index.addCatalogMember(name, 20, 7, folder.at("cat"), 990, "", false);
      expectedMessages += "[Load] Failed to read from file " + folder.at("cat") + ".dat\n";
    } else {
      index.addFolderFile(name, static_cast<std::int32_t>(content.size()), 5000, folder.at("in"));
      expectedData += content;
      expectedIndex += std::string(name) + " " + std::to_string(content.size()) + " 5000 " + md5Of(content) + "\n";
    }
  }
  for (unsigned helpers : {0u, 1u, 3u}) {
    const Written written = writeWith(folder, index, "gathered", false, helpers);
    EXPECT_TRUE(written.result);
    EXPECT_EQ(written.messages, expectedMessages) << helpers << " helpers";
    EXPECT_EQ(written.index, expectedIndex) << helpers << " helpers";
    EXPECT_EQ(written.data, expectedData) << helpers << " helpers";
    const Written old = writeWith(folder, index, "gathered-old", true, helpers);
    EXPECT_EQ(old.messages, expectedMessages) << helpers << " helpers, old format";
    EXPECT_EQ(underDataKey(old.data), expectedData) << helpers << " helpers, old format";
  }
}

// Diffs and packs a few thousand files many times over, checking each
// result, so that a race between the threads has many chances to show.
TEST(ParallelStress, DiffAndPackManyFilesAgainAndAgain) {
  TempFolder folder;
  FileIndex result;
  FileIndex base;
  std::string expectedData;
  std::string expectedIndex;
  constexpr int fileCount = 2000;
  std::vector<std::pair<std::string, std::string>> changed;  // key order: names are zero-padded
  for (int number = 0; number < fileCount; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "d%02d/f%05d.bin", number % 20, number);
    const std::string content = randomBytes(static_cast<std::size_t>(1 + number * 97 % 3000), number);
    std::string other = content;
    if (number % 4 == 0) other[other.size() / 2] = static_cast<char>(other[other.size() / 2] ^ 1);
    folder.write(std::string("new/") + name, content, 100000);
    folder.write(std::string("old/") + name, other, 300000);
    result.addFolderFile(name, static_cast<std::int32_t>(content.size()), 100000, folder.at("new"));
    base.addFolderFile(name, static_cast<std::int32_t>(other.size()), 300000, folder.at("old"));
    if (number % 4 == 0) changed.emplace_back(name, content);
  }
  std::sort(changed.begin(), changed.end());
  for (const auto& [name, content] : changed) {
    expectedData += content;
    expectedIndex += name + " " + std::to_string(content.size()) + " 100000 " + md5Of(content) + "\n";
  }
  for (int round = 0; round < 12; ++round) {
    FileIndex reduced = result;
    ASSERT_TRUE(applyDiff(reduced, base, 1 + round % 3));
    ASSERT_EQ(reduced.size(), changed.size()) << "round " << round;
    const Written written = writeWith(folder, reduced, "stress", false, 1 + round % 3);
    ASSERT_TRUE(written.result);
    ASSERT_EQ(written.messages, "");
    ASSERT_EQ(written.index, expectedIndex) << "round " << round;
    ASSERT_EQ(written.data, expectedData) << "round " << round;
    const Written all = writeWith(folder, result, "all", false, 1 + round % 3);
    FileIndex back;
    CaptureStdout();
    ASSERT_TRUE(readCatalog(back, folder.at("all")));
    GetCapturedStdout();
    FileIndex same = result;
    ASSERT_TRUE(applyDiff(same, back, 2)) << "round " << round;
    ASSERT_TRUE(same.empty()) << "every digest written matches its file, round " << round;
  }
}

}  // namespace
}  // namespace catpack
