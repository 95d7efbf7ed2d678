#include "catalog/catalog_reader.h"

#include <cctype>
#include <map>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "catalog/catalog_format.h"
#include "catalog/index_lines.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::TempFolder;

const std::string digestA = "0123456789abcdef0123456789abcdef";
const std::string digestB = "ffffffffffffffffffffffffffffffff";

// Name, size, time, offset, digest and source of the entry under `key`.
std::string entryOf(const FileIndex& index, const std::string& key) {
  const FileIndex::Found found = index.find(key);
  if (!found) return "missing";
  return std::string(found->name) + " " + std::to_string(found->size) + " " +
         std::to_string(found->time) + " @" + std::to_string(found->offset) + " " +
         std::string(found->digest) + " " + std::string(found->catalog) +
         (found->inCatalog ? " member" : "") + (found->scrambled ? " scrambled" : "");
}

TEST(ReadCatalog, TakesNamesAndDigestsFromTheTextInPlace) {
  TempFolder folder;
  folder.write("c.cat", "Data/Big File.XML 10 7 " + digestA + "\r\n" +
                            "other 5\n\n" +
                            "data/big file.xml 3 -5 " + digestB + "\n" +
                            "\xC9t\xE9 4 9 " + digestA + "\n" +
                            "last 2 1 " + digestB);
  FileIndex index;
  CaptureStdout();
  ASSERT_TRUE(readCatalog(index, folder.at("c")));
  EXPECT_EQ(GetCapturedStdout(), "Reading from catalog " + folder.at("c") +
                                     "\nDone - Max filename size: 17, filename: Data/Big File.XML\n");
  const std::string base = folder.at("c");
  EXPECT_EQ(index.size(), 4u);
  EXPECT_EQ(entryOf(index, "data/big file.xml"),
            "data/big file.xml 3 -5 @15 " + digestB + " " + base + " member")
      << "the later line of a name wins; the one it replaced still advanced the offset";
  EXPECT_EQ(entryOf(index, "other"), "other 5 0 @10  " + base + " member");
  EXPECT_EQ(entryOf(index, "\xC9t\xE9"), "\xC9t\xE9 4 9 @18 " + digestA + " " + base + " member");
  EXPECT_EQ(entryOf(index, "last"), "last 2 1 @22 " + digestB + " " + base + " member")
      << "a digest at the very end of the text";
}

// Reads `text` as the catalog `long` and checks that the index holds what
// its lines say, one after another: the last line of a key wins, and every
// line advances the offset.
void expectReadAsItsLinesSay(const std::string& text) {
  TempFolder folder;
  folder.write("long.cat", text);
  std::map<std::string, std::string> expected;
  std::uint64_t offset = 0;
  std::size_t longest = 0;
  std::string longestName;
  forEachIndexLine(reinterpret_cast<const unsigned char*>(text.data()), text.size(), false,
                   [&](const IndexLine& line) {
                     std::string key = line.name;
                     for (char& byte : key) byte = static_cast<char>(std::tolower(byte));
                     expected[key] = line.name + " " + std::to_string(line.size) + " " +
                                     std::to_string(line.time) + " @" + std::to_string(offset) +
                                     " " + line.digest + " " + folder.at("long") + " member";
                     offset += static_cast<std::uint32_t>(line.size);
                     if (line.name.size() > longest) {
                       longest = line.name.size();
                       longestName = line.name;
                     }
                   });
  FileIndex index;
  CaptureStdout();
  ASSERT_TRUE(readCatalog(index, folder.at("long")));
  EXPECT_EQ(GetCapturedStdout(), "Reading from catalog " + folder.at("long") +
                                     "\nDone - Max filename size: " + std::to_string(longest) +
                                     ", filename: " + longestName + "\n");
  ASSERT_EQ(index.size(), expected.size());
  for (const auto& [key, entry] : expected) EXPECT_EQ(entryOf(index, key), entry) << key;
}

TEST(ReadCatalog, ALongTextReadInTwoHalvesGivesWhatItsLinesSay) {
  // Over a mebibyte of lines of every kind, so that the text is cut in two
  // somewhere in the middle and arrives in many pieces: full and short
  // lines, line breaks of either kind and runs of them, lines that name no
  // member, names repeated far apart and in other case, and a digest at the
  // very end of the text.
  std::string text;
  std::mt19937 random(3);
  for (int line = 0; text.size() < (3u << 19); ++line) {
    const std::string name = (random() % 2 == 0 ? "Dir/" : "dir/") + std::to_string(random() % 20000);
    switch (random() % 8) {
      case 0: text += name + " " + std::to_string(line % 97) + "\r\n"; break;
      case 1: text += "nonsense\n\n\r"; break;
      default:
        text += name + " " + std::to_string(line % 89) + " " + std::to_string(line) + " " +
                (line % 2 == 0 ? digestA : digestB) + "\n";
    }
  }
  text += "The/End 4 5 " + digestB;
  expectReadAsItsLinesSay(text);
}

TEST(ReadCatalog, LinesLongerThanThePiecesALongTextArrivesInStayWhole) {
  // Names of hundreds of kibibytes, longer than any piece read at once,
  // among short lines, one of them right at the middle and one at the end
  // without a line break; and fields apart by runs of spaces, which packing
  // the text squeezes out.
  std::string text;
  std::mt19937 random(5);
  for (int line = 0; text.size() < (5u << 19); ++line) {
    if (line % 500 == 250) {
      text += std::string(300000 + random() % 1000, static_cast<char>('a' + line % 26)) + " " +
              std::to_string(line) + " 7 " + digestA + "\n";
    } else if (line % 7 == 0) {
      text += "Spaced/" + std::to_string(line) + "      12     34    " + digestB + "\r\n";
    } else {
      text += "short/" + std::to_string(random() % 5000) + " " + std::to_string(line % 13) + " " +
              std::to_string(line) + " " + digestA + "\n";
    }
  }
  text.insert(text.size() / 2, std::string(400000, 'M') + " 1 2 " + digestB + "\n");
  text += std::string(270000, 'z') + " 3 4 " + digestB;
  expectReadAsItsLinesSay(text);
}

TEST(ReadCatalog, ALaterCatalogReplacesMembersWhole) {
  TempFolder folder;
  folder.write("one.cat", "A.txt 1 1 " + digestA + "\nb.txt 2 2 " + digestA + "\n");
  folder.write("two.cat", "a.TXT 3\n");
  FileIndex index;
  CaptureStdout();
  readCatalog(index, folder.at("one"));
  readCatalog(index, folder.at("two"));
  GetCapturedStdout();
  EXPECT_EQ(entryOf(index, "a.txt"), "a.TXT 3 0 @0  " + folder.at("two") + " member");
  EXPECT_EQ(entryOf(index, "b.txt"), "b.txt 2 2 @1 " + digestA + " " + folder.at("one") + " member");
}

TEST(ReadCatalog, OldFormatMembersAreScrambledAndSkipTheFirstLine) {
  TempFolder folder;
  std::string text = "foo.dat 1\nA 2\nb 3\na 4\n";
  scrambleIndexText(reinterpret_cast<unsigned char*>(text.data()), text.size(), 0);
  folder.write("old.cat", text);
  FileIndex index;
  CaptureStdout();
  readCatalog(index, folder.at("old"));
  GetCapturedStdout();
  EXPECT_EQ(index.size(), 2u);
  EXPECT_EQ(entryOf(index, "a"), "a 4 0 @5  " + folder.at("old") + " member scrambled");
}

}  // namespace
}  // namespace catpack
