#include "index/file_index.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/catalog_members.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

std::vector<std::string> keysOf(const FileIndex& index) {
  std::vector<std::string> keys;
  for (const auto& [key, entry] : index) keys.push_back(key);
  return keys;
}

TEST(FileIndex, OrdersKeysByUnsignedBytes) {
  FileIndex index;
  for (const char* name : {"ab", "a/b", "a.b", "a-b", "abd", "abc", "a\xE9", "az", ""}) {
    index.addFolderFile(name, 1, 1, "root");
  }
  EXPECT_EQ(keysOf(index),
            (std::vector<std::string>{"", "a-b", "a.b", "a/b", "ab", "abc", "abd", "az", "a\xE9"}));
}

TEST(FileIndex, KeysIgnoreOnlyAsciiCase) {
  FileIndex index;
  index.addFolderFile("README", 1, 1, "x");
  index.addFolderFile("readme", 2, 2, "y");
  index.addFolderFile("A\\B", 3, 3, "x");
  index.addFolderFile("a/b", 4, 4, "x");
  index.addFolderFile("\xC4", 5, 5, "x");
  index.addFolderFile("\xE4", 6, 6, "x");
  EXPECT_EQ(index.size(), 5u);
  ASSERT_NE(index.find("readme"), nullptr);
  EXPECT_EQ(index.find("readme")->name, "readme");
  EXPECT_EQ(index.find("readme")->folder, "y");
  EXPECT_NE(index.find("a\\b"), nullptr);
  EXPECT_EQ(index.find("README"), nullptr) << "find takes a key, already lower-cased";
}

TEST(FileIndex, KeysLowerCaseCapitalsWhereverTheyStand) {
  // Capitals at every place of a long name, among the bytes just outside
  // 'A' to 'Z' and their high-bit twins, which stay as they are.
  const std::string around = "@[\xC1\xDA`{a\x80";
  for (std::size_t at = 0; at < 24; ++at) {
    std::string name;
    for (std::size_t filled = 0; filled < 24; ++filled) name += around[(filled + at) % around.size()];
    std::string key = name;
    FileIndex plain;
    plain.addFolderFile(name, 1, 1, "x");
    EXPECT_EQ(keysOf(plain), std::vector<std::string>{key}) << "no capital, place " << at;
    name[at] = static_cast<char>('A' + at);
    key[at] = static_cast<char>('a' + at);
    FileIndex index;
    index.addFolderFile(name, 1, 1, "x");
    EXPECT_EQ(keysOf(index), std::vector<std::string>{key}) << "capital at " << at;
  }
}

TEST(FileIndex, TheLastSourceReplacesAnEntryWhole) {
  FileIndex index;
  index.addCatalogMember("Textures/Ship.DDS", 10, 20, "old", 99, "d1", true);
  index.addFolderFile("textures/ship.dds", 11, 21, "base");
  const auto folderFile = index.find("textures/ship.dds");
  ASSERT_NE(folderFile, nullptr);
  EXPECT_EQ(folderFile->name, "textures/ship.dds");
  EXPECT_FALSE(folderFile->inCatalog);
  EXPECT_FALSE(folderFile->scrambled);
  EXPECT_EQ(folderFile->catalog, "");
  EXPECT_EQ(folderFile->offset, 0u);
  EXPECT_EQ(folderFile->digest, "");
  EXPECT_EQ(folderFile->folder, "base");

  index.addCatalogMember("TEXTURES/ship.dds", 12, 22, "patch", 7, "d2", false);
  const auto member = index.find("textures/ship.dds");
  EXPECT_EQ(member->name, "TEXTURES/ship.dds");
  EXPECT_TRUE(member->inCatalog);
  EXPECT_EQ(member->folder, "");
  EXPECT_EQ(member->catalog, "patch");
  EXPECT_EQ(member->offset, 7u);
  EXPECT_EQ(member->size, 12);

  index.addDeletion("Textures/SHIP.dds");
  const auto marker = index.find("textures/ship.dds");
  EXPECT_EQ(marker->name, "Textures/SHIP.dds");
  EXPECT_TRUE(isDeletionMarker(*marker));
  EXPECT_FALSE(marker->inCatalog);
  EXPECT_EQ(marker->catalog, "");
  EXPECT_EQ(index.size(), 1u);
}

TEST(FileIndex, EraseDuringAWalkKeepsTheRest) {
  FileIndex index;
  for (const char* name : {"a", "b", "c", "d", "e", "f"}) index.addFolderFile(name, 1, 1, "r");
  for (auto position = index.begin(); position != index.end();) {
    position = (position->key == "b" || position->key == "c" || position->key == "f")
                   ? index.erase(position)
                   : std::next(position);
  }
  EXPECT_EQ(keysOf(index), (std::vector<std::string>{"a", "d", "e"}));
}

TEST(FileIndex, InsertIfAbsentLeavesExistingEntries) {
  FileIndex index;
  index.addFolderFile("a", 1, 1, "first");
  FileEntry other;
  other.name = "A";
  other.size = 9;
  index.insertIfAbsent("a", other);
  index.insertIfAbsent("b", other);
  EXPECT_EQ(index.find("a")->folder, "first");
  EXPECT_EQ(index.find("b")->size, 9);
}

TEST(FileIndex, KnowsTheLongestNameEverAdded) {
  // Every way in counts, and an entry erased later still does: the filter
  // relies on no key being longer.
  FileIndex index;
  EXPECT_EQ(index.longestNameAdded(), 0u);
  index.addFolderFile("folder-file", 1, 1, "f");
  EXPECT_EQ(index.longestNameAdded(), 11u);
  index.addCatalogMember("a-catalog-member", 1, 1, "c", 0, "", false);
  EXPECT_EQ(index.longestNameAdded(), 16u);
  index.addDeletion(std::string(20, 'd'));
  EXPECT_EQ(index.longestNameAdded(), 20u);
  const std::string text = std::string(25, 'T') + " 1\nshort 2\n";
  ByteBuffer bytes = ByteBuffer::allocate(static_cast<std::uint32_t>(text.size()));
  std::memcpy(bytes.data(), text.data(), text.size());
  const FileIndex::TextSource source = index.adoptCatalogText("t", std::move(bytes), false);
  source.bytes[25] = '\0';
  source.bytes[33] = '\0';
  FileIndex::TextMembers members(source, {1, 1}, 0);
  members.stretch(1).add(28, 5, 2, 0, 0, false);
  members.stretch(0).add(0, 25, 1, 0, 0, false);
  index.addMembers(std::move(members), {0, 1});
  EXPECT_EQ(index.longestNameAdded(), 25u);
  for (auto at = index.begin(); at != index.end();) at = index.erase(at);
  EXPECT_EQ(index.longestNameAdded(), 25u);
  FileIndex copy = index;
  EXPECT_EQ(copy.longestNameAdded(), 25u);
}

TEST(FileIndex, CopiesEmptiesAndSwaps) {
  FileIndex one;
  one.addFolderFile("x", 1, 1, "r");
  FileIndex copy = one;
  copy.addFolderFile("y", 1, 1, "r");
  EXPECT_EQ(one.size(), 1u);
  EXPECT_EQ(copy.size(), 2u);
  one.swap(copy);
  EXPECT_EQ(one.size(), 2u);
  EXPECT_EQ(copy.size(), 1u);
  one.clear();
  EXPECT_TRUE(one.empty());
}

TEST(DumpIndex, ListsEntriesInKeyOrder) {
  FileIndex index;
  index.addCatalogMember("Data/X.xml", 120, 1234567890, "c", 0, "", false);
  index.addDeletion("old.txt");
  index.addFolderFile("B.txt", 5, 0x100000000LL + 7, "f");
  index.addFolderFile("late", 3, 0x80000000LL, "f");
  CaptureStdout();
  dumpIndex(index);
  EXPECT_EQ(GetCapturedStdout(),
            "       5        7 B.txt b.txt\n"
            "     120 1234567890 Data/X.xml data/x.xml\n"
            "       3 -2147483648 late late\n"
            "       0        0 old.txt old.txt\n");
  FileIndex empty;
  CaptureStdout();
  dumpIndex(empty);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(DumpIndex, HelpersChangeNoByte) {
  // Many blocks of lines, some entries replaced or erased, one long name.
  FileIndex index;
  std::mt19937 random(7);
  for (int number = 0; number < 30000; ++number) {
    std::string name = "Dir" + std::to_string(random() % 97) + "/f" + std::to_string(random() % 20000);
    if (number == 12345) name.append(3000, 'x');
    index.addFolderFile(name, number, number * 3, number % 2 == 0 ? "a" : "b");
  }
  int walked = 0;
  for (auto at = index.begin(); at != index.end();) at = ++walked % 3 == 0 ? index.erase(at) : ++at;
  CaptureStdout();
  dumpIndex(index, 0);
  const std::string alone = GetCapturedStdout();
  EXPECT_EQ(std::count(alone.begin(), alone.end(), '\n'), static_cast<long>(index.size()));
  for (const unsigned helpers : {1u, 3u}) {
    CaptureStdout();
    dumpIndex(index, helpers);
    EXPECT_EQ(GetCapturedStdout(), alone) << helpers << " helpers";
  }
}

TEST(DumpIndex, PrintsNamesUpToAnInnerNulAsPrintfDoes) {
  FileIndex index;
  index.addFolderFile(std::string("Nul\0Tail", 8), 1, 2, "f");
  EXPECT_TRUE(index.namesMayHoldNul());
  CaptureStdout();
  dumpIndex(index);
  EXPECT_EQ(GetCapturedStdout(), "       1        2 Nul nul\n");
}

}  // namespace
}  // namespace catpack
