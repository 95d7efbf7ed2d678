#include "catalog/catalog_format.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

namespace catpack {
namespace {

std::string scrambled(std::string text, std::uint64_t position = 0) {
  scrambleIndexText(reinterpret_cast<unsigned char*>(text.data()), text.size(), position);
  return text;
}

bool isOld(const std::string& plain) {
  const std::string text = scrambled(plain);
  return isOldCatalogText(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(IndexScrambling, KeysEveryPositionAndUndoesItself) {
  const std::string text = "foo.dat\na 1\n";
  EXPECT_NE(scrambled(text), text);
  EXPECT_EQ(scrambled(scrambled(text)), text);
  EXPECT_EQ(scrambled(scrambled(text, 300), 300), text);
  // A text scrambled from position 5 on equals the tail of one scrambled from 0.
  EXPECT_EQ(scrambled("xxxxx" + text).substr(5), scrambled(text, 5));
  // The key of position p is p minus the key constant.
  EXPECT_EQ(static_cast<unsigned char>(scrambled(std::string(1, '\0'), 0)[0]),
            static_cast<unsigned char>(0 - indexKeyConstant));
}

TEST(OldCatalogDetection, AcceptsOldIndexTexts) {
  EXPECT_TRUE(isOld("foo.dat\n"));
  EXPECT_TRUE(isOld("foo.dat\nfile.txt 10\n"));
  EXPECT_TRUE(isOld("foo.dat\r\nfile.txt 10\r\n"));
  EXPECT_TRUE(isOld("first line with spaces\nmy file.txt 10\n"));
  EXPECT_TRUE(isOld("\nfile 1\n")) << "the first line may be empty";
  EXPECT_TRUE(isOld("foo.dat\n# comment\n"));
  EXPECT_TRUE(isOld("foo.dat\n starts with a space\n"));
  EXPECT_TRUE(isOld("foo.dat\ncaf\xC3\xA9.txt 4\n")) << "UTF-8 sequences";
  EXPECT_TRUE(isOld("foo.dat\ntab\there 3\n"));
}

TEST(OldCatalogDetection, RejectsEverythingElse) {
  EXPECT_FALSE(isOld("")) << "no line at all";
  EXPECT_FALSE(isOld("foo.dat")) << "no line break at the end";
  EXPECT_FALSE(isOld("foo.dat\nfile.txt 10")) << "last line unterminated";
  EXPECT_FALSE(isOld("foo.dat\r")) << "a lone CR at the end";
  EXPECT_FALSE(isOld("foo.dat\rx 1\n")) << "CR not followed by LF";
  EXPECT_FALSE(isOld("foo.dat\n\nfile 1\n")) << "an empty line after the first";
  EXPECT_FALSE(isOld("foo.dat\nfile\n")) << "no size";
  EXPECT_FALSE(isOld("foo.dat\nfile 1x\n")) << "size not at the end";
  EXPECT_FALSE(isOld("foo.dat\nfile\x01 1\n")) << "control byte";
  EXPECT_FALSE(isOld("foo.dat\ncaf\xE9.txt 4\n")) << "a lone high byte";
  EXPECT_FALSE(isOld("foo.dat\ncaf\xC3x 4\n")) << "a lead byte without continuation";
  EXPECT_FALSE(isOld("foo.dat\ncaf\x80 4\n")) << "a continuation without lead";
  const std::string current = "a.txt 3 7 900150983cd24fb0d6963f7d28e17f72\n";
  EXPECT_FALSE(isOldCatalogText(reinterpret_cast<const unsigned char*>(current.data()),
                                current.size()))
      << "a current index is noise when unscrambled";
}

TEST(OldCatalogDetection, LooksAtTheFirst1024BytesOnly) {
  std::string text = "foo.dat\n";
  while (text.size() < 1000) text += "some/long/member/name.bin 123456\n";
  text += std::string(2000, 'x');  // no line break, garbage beyond the first 1024 bytes
  text[1500] = '\x01';
  EXPECT_TRUE(isOld(text));
  EXPECT_FALSE(isOld("foo.dat" + std::string(2000, 'x') + "\n")) << "fewer than two line ends";
}

// A text decided to be current stays current whatever follows it. Texts
// are scrambled old-format lines with a byte or two changed, so that some
// are decided early, some late and some never.
TEST(OldCatalogDetection, AVerdictOfCurrentHoldsWhateverFollows) {
  std::mt19937 random(20261208);
  const std::string lines = "foo.dat\nfile.txt 10\nsub/other name.bin 2048\n# note\r\nlast 7\n";
  const auto randomText = [&](std::size_t length) {
    std::string plain;
    while (plain.size() < length) plain += lines;
    plain.resize(length);
    for (int change = static_cast<int>(random() % 3); change > 0; --change) {
      plain[random() % length] = static_cast<char>(random() % 256);
    }
    return plain;
  };
  int decided = 0;
  int undecided = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string start = scrambled(randomText(1 + random() % 1100));
    const bool current = isCurrentCatalogTextWhateverFollows(
        reinterpret_cast<const unsigned char*>(start.data()), start.size());
    (current ? decided : undecided) += 1;
    if (!current) continue;
    for (int ending = 0; ending < 10; ++ending) {
      std::string text = start + scrambled(randomText(1 + random() % 600), start.size());
      if (ending % 2 == 0) text += std::string(random() % 40, static_cast<char>(random() % 256));
      EXPECT_FALSE(isOldCatalogText(reinterpret_cast<const unsigned char*>(text.data()), text.size()))
          << "round " << round;
    }
  }
  EXPECT_GT(decided, 100);
  EXPECT_GT(undecided, 50);
  const std::string old = scrambled("foo.dat\nfile.txt 10\n");
  EXPECT_FALSE(isCurrentCatalogTextWhateverFollows(reinterpret_cast<const unsigned char*>(old.data()),
                                                   old.size()));
  const std::string plain = "file.txt 10 1700000000 ";
  EXPECT_TRUE(isCurrentCatalogTextWhateverFollows(reinterpret_cast<const unsigned char*>(plain.data()),
                                                  plain.size()))
      << "a current line's start, read unscrambled, is no old index";
}

}  // namespace
}  // namespace catpack
