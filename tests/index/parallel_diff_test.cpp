// The diff with its digests worked out by helper threads gives what it gives
// without them: the same result and the same messages, in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "index/diff.h"
#include "index/entry_content.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using testing::randomBytes;
using testing::TempFolder;

std::string scrambled(std::string bytes) {
  for (char& byte : bytes) byte = static_cast<char>(byte ^ dataKey);
  return bytes;
}

std::string lowerCasedForTest(std::string name) {
  for (char& byte : name) byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
  return name;
}

std::string listingOf(const FileIndex& index) {
  std::string text;
  for (const auto& [key, entry] : index) {
    text += entry.name + " " + std::to_string(entry.size) + " " + std::to_string(entry.time) + "\n";
  }
  return text;
}

// A result and a base that need digests of every kind: folder files equal,
// edited, grown past a piece, vanished on one side or both; old-format and
// current-format members, readable or not; and stated digests.
class ParallelDiff : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string big = randomBytes(3 << 20, 1);
    std::string bigEdited = big;
    bigEdited.back() = static_cast<char>(bigEdited.back() ^ 1);
    addPair("same.txt", "same bytes", "same bytes");
    addPair("edited.txt", "new bytes!", "old bytes!");
    addPair("big.bin", big, big);
    addPair("big-edited.bin", bigEdited, big);
    addPair("vanished-new.txt", "vanishes", "vanishes");
    addPair("vanished-both.txt", "vanishes", "vanishes");
    addPair("shrunk.txt", "shrinks away", "shrinks away");
    for (int number = 0; number < 300; ++number) {
      const std::string content = randomBytes(static_cast<std::size_t>(number * 37 % 5000), number);
      std::string other = content;
      if (number % 3 == 0 && !other.empty()) other[0] = static_cast<char>(other[0] ^ 0x55);
      addPair("filler/" + std::to_string(number) + ".dat", content, other);
    }

    // Old-format members of the base: one equal to its folder file, one
    // past the end of its data file, one of a data file that is missing.
    const std::string member = "member content";
    folder.write("old.dat", scrambled(member));
    folder.write("new/old-equal.txt", member, 5000);
    result.addFolderFile("old-equal.txt", static_cast<std::int32_t>(member.size()), 5000, folder.at("new"));
    base.addCatalogMember("old-equal.txt", static_cast<std::int32_t>(member.size()), 0, folder.at("old"), 0, "", true);
    folder.write("new/old-short.txt", member + member, 5000);
    result.addFolderFile("old-short.txt", static_cast<std::int32_t>(2 * member.size()), 5000, folder.at("new"));
    base.addCatalogMember("old-short.txt", static_cast<std::int32_t>(2 * member.size()), 0, folder.at("old"), 0, "", true);
    folder.write("new/old-missing.txt", member, 5000);
    result.addFolderFile("old-missing.txt", static_cast<std::int32_t>(member.size()), 5000, folder.at("new"));
    base.addCatalogMember("old-missing.txt", static_cast<std::int32_t>(member.size()), 0, folder.at("nowhere"), 0, "", true);
    // A current-format member whose line stated no digest is read and hashed.
    folder.write("cur.dat", "xx" + member);
    folder.write("new/current.txt", member, 5000);
    result.addFolderFile("current.txt", static_cast<std::int32_t>(member.size()), 5000, folder.at("new"));
    base.addCatalogMember("current.txt", static_cast<std::int32_t>(member.size()), 1, folder.at("cur"), 2, "", false);
    // Stated digests on both sides, equal and not.
    result.addCatalogMember("stated-equal", 4, 1, "c", 0, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false);
    base.addCatalogMember("stated-equal", 4, 9999, "c", 0, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false);
    result.addCatalogMember("stated-other", 4, 1, "c", 0, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false);
    base.addCatalogMember("stated-other", 4, 9999, "c", 0, "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", false);

    // What happens between the scan and the diff.
    std::remove(folder.at("new/vanished-new.txt").c_str());
    std::remove(folder.at("new/vanished-both.txt").c_str());
    std::remove(folder.at("old/vanished-both.txt").c_str());
    folder.write("old/shrunk.txt", "shrinks");
  }

  void addPair(const std::string& name, const std::string& newBytes, const std::string& oldBytes) {
    folder.write("new/" + name, newBytes, 100000);
    folder.write("old/" + name, oldBytes, 200000);
    result.addFolderFile(name, static_cast<std::int32_t>(newBytes.size()), 100000, folder.at("new"));
    base.addFolderFile(name, static_cast<std::int32_t>(oldBytes.size()), 200000, folder.at("old"));
  }

  // The listing of the reduced result and the messages of the diff.
  std::pair<std::string, std::string> diffWith(unsigned helpers) const {
    FileIndex reduced = result;
    CaptureStderr();
    EXPECT_TRUE(applyDiff(reduced, base, helpers));
    const std::string messages = GetCapturedStderr();
    return {listingOf(reduced), messages};
  }

  TempFolder folder;
  FileIndex result;
  FileIndex base;
};

TEST_F(ParallelDiff, OneThreadDecidesByTheContents) {
  const auto [listing, messages] = diffWith(0);
  EXPECT_EQ(messages, "[Load] Failed to open file " + folder.at("nowhere") + ".dat\n" +
                          "[Load] Failed to read from file " + folder.at("old") + ".dat\n");
  std::vector<std::string> expected = {"big-edited.bin", "edited.txt", "old-missing.txt",
                                       "old-short.txt", "shrunk.txt", "stated-other",
                                       "vanished-new.txt"};
  for (int number = 0; number < 300; number += 3) {
    if (number * 37 % 5000 != 0) expected.push_back("filler/" + std::to_string(number) + ".dat");
  }
  std::string names;
  for (std::size_t start = 0; start < listing.size();) {
    const std::size_t end = listing.find('\n', start);
    names += listing.substr(start, listing.find(' ', start) - start) + "\n";
    start = end + 1;
  }
  std::sort(expected.begin(), expected.end());
  std::string expectedNames;
  for (const std::string& name : expected) expectedNames += name + "\n";
  EXPECT_EQ(names, expectedNames);
}

TEST_F(ParallelDiff, HelpersChangeNeitherResultNorMessages) {
  const auto reference = diffWith(0);
  for (unsigned helpers : {1u, 2u, 5u}) {
    for (int round = 0; round < 5; ++round) {
      EXPECT_EQ(diffWith(helpers), reference) << helpers << " helpers, round " << round;
    }
  }
}

TEST_F(ParallelDiff, AnEmptyBaseOrNothingToDigestNeedsNoHelp) {
  FileIndex reduced = result;
  EXPECT_TRUE(applyDiff(reduced, FileIndex(), 3));
  EXPECT_EQ(listingOf(reduced), listingOf(result));
  FileIndex same = result;
  CaptureStderr();
  EXPECT_TRUE(applyDiff(same, result, 3));
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_TRUE(same.empty());
}

}  // namespace
}  // namespace catpack

namespace catpack {
namespace {

// Two big indexes of members with stated digests, compared on one thread
// and on two: the same result, which is what the rules say pair by pair.
TEST(ParallelDiffOfStatedDigests, TwoHalvesGiveWhatOneWalkGives) {
  std::mt19937 random(17);
  const auto digest = [&] { return std::string(32, "0123456789abcdef"[random() % 3]); };
  FileIndex result;
  FileIndex base;
  std::map<std::string, std::string> expected;  // name: what the listing says of it
  for (int number = 0; number < 50000; ++number) {
    // Names in other case on the two sides meet under one key.
    const std::string name = "Dir" + std::to_string(number % 50) + "/f" + std::to_string(number);
    const std::int32_t size = static_cast<std::int32_t>(random() % 3);
    const std::int64_t time = 1000 + static_cast<std::int64_t>(random() % 3) * 3600;
    const std::string resultDigest = digest();
    const unsigned shape = random() % 6;
    if (shape != 0) result.addCatalogMember(name, size, time, "r", 0, resultDigest, false);
    const std::string kept = name + " " + std::to_string(size) + " " + std::to_string(time);
    if (shape == 1) {  // only in the result: stays
      expected[lowerCasedForTest(name)] = kept;
      continue;
    }
    const std::int32_t baseSize = random() % 4 == 0 ? size + 1 : size;
    const std::int64_t baseTime = random() % 2 == 0 ? time : 1000 + static_cast<std::int64_t>(random() % 3) * 3600;
    const std::string baseDigest = random() % 2 == 0 ? resultDigest : digest();
    base.addCatalogMember(number % 2 == 0 ? name : lowerCasedForTest(name), baseSize, baseTime, "b",
                          0, baseDigest, false);
    if (shape == 0) {
      expected[lowerCasedForTest(name)] = (number % 2 == 0 ? name : lowerCasedForTest(name)) + " 0 0";
      continue;
    }
    const bool timesSay = (time != 0 && time == baseTime) || time + 3600 == baseTime || time - 3600 == baseTime;
    const bool unchanged = size == baseSize && (timesSay || resultDigest == baseDigest);
    if (!unchanged) expected[lowerCasedForTest(name)] = kept;
  }
  std::string expectedListing;
  for (const auto& [key, line] : expected) expectedListing += line + "\n";

  for (const unsigned helpers : {0u, 1u}) {
    FileIndex reduced = result;
    CaptureStderr();
    EXPECT_TRUE(applyDiff(reduced, base, helpers));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(listingOf(reduced), expectedListing) << helpers << " helpers";
  }
}

}  // namespace
}  // namespace catpack

namespace catpack {
namespace {

// The keys added to `index` since it held `before` stored entries, in the
// order they were stored.
std::vector<std::string> keysStoredSince(const FileIndex& index, std::size_t before) {
  std::vector<std::string> keys;
  for (std::size_t slot = before; slot < index.storedCount(); ++slot) keys.push_back(index.storedKey(slot));
  return keys;
}

// Big indexes whose keys are stored more than once (the last entry counts),
// whose entries were partly settled, erased or added later, with deletion
// markers and names holding NUL bytes: the two-thread comparison pairs what
// a walk in key order pairs, and adds the same markers in the same order.
TEST(ParallelDiffOfStatedDigests, RepeatedErasedAndLateEntriesPairAsOneWalkPairsThem) {
  std::mt19937 random(23);
  const auto name = [&](std::size_t number) {
    std::string text = "d" + std::to_string(number % 97) + "/F" + std::to_string(number);
    if (number % 211 == 0) text += std::string(1, '\0') + "x";
    return text;
  };
  const auto digest = [&] { return std::string(32, "0123456789abcdef"[random() % 2]); };
  const auto fill = [&](FileIndex& index, const char* catalog, std::size_t count) {
    for (std::size_t round = 0; round < 3; ++round) {
      for (std::size_t added = 0; added < count; ++added) {
        const std::size_t number = random() % (count + count / 4);
        const auto size = static_cast<std::int32_t>(random() % 2);
        const std::int64_t time = 5000 + static_cast<std::int64_t>(random() % 3) * 3600;
        if (random() % 50 == 0) {  // a marker a catalog holds
          index.addCatalogMember(name(number), 0, 0, catalog, 0, digest(), false);
        } else {
          index.addCatalogMember(random() % 2 ? name(number) : lowerCasedForTest(name(number)), size,
                                 time, catalog, 0, digest(), false);
        }
        if (random() % 40 == 0) index.eraseStored(index.storedCount() - 1 - random() % 8);
      }
      if (round == 0) index.settle();
    }
  };
  FileIndex result;
  FileIndex base;
  fill(result, "r", 20000);
  fill(base, "b", 20000);
  ASSERT_GE(base.storedCount(), std::size_t{1} << 15);
  ASSERT_FALSE(result.mayLackDigests() || base.mayLackDigests());

  std::size_t keptByCheck[2] = {0, 0};
  for (const SameSizeCheck check : {SameSizeCheck::timesFirst, SameSizeCheck::contents}) {
    // A walk settles the base: each way gets a copy of its own.
    FileIndex walked = result;
    FileIndex hashed = result;
    const FileIndex walkedBase = base;
    const FileIndex hashedBase = base;
    EXPECT_TRUE(applyDiff(walked, walkedBase, 0, check));
    EXPECT_TRUE(applyDiff(hashed, hashedBase, 1, check));
    EXPECT_EQ(listingOf(hashed), listingOf(walked));
    EXPECT_EQ(hashed.size(), walked.size());
    const std::vector<std::string> markers = keysStoredSince(walked, result.storedCount());
    EXPECT_FALSE(markers.empty());
    EXPECT_EQ(keysStoredSince(hashed, result.storedCount()), markers);
    keptByCheck[check == SameSizeCheck::contents] = walked.size();
  }
  EXPECT_GT(keptByCheck[1], keptByCheck[0]) << "pairs of equal times and other digests stay";
}

}  // namespace
}  // namespace catpack
