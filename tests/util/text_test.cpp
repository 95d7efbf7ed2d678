#include "util/text.h"

#include <gtest/gtest.h>

namespace catpack {
namespace {

TEST(FormatText, KeepsOutputBeyondTheSmallBuffer) {
  const std::string name(300, 'n');
  const std::string line = formatText("%s %d\n", name.c_str(), 42);
  EXPECT_EQ(line, name + " 42\n");
  EXPECT_EQ(formatText("%s", std::string(127, 'x').c_str()).size(), 127u);
  EXPECT_EQ(formatText("%s", std::string(128, 'x').c_str()).size(), 128u);
  EXPECT_EQ(formatText("%02x%02x", 5, 250), "05fa");
}

TEST(LowerCase, MapsOnlyAsciiCapitals) {
  std::string text = "Ab/CD.Xml";
  EXPECT_EQ(lowerCase(text), "ab/cd.xml");
  std::string high = "\xC4\xD6Z@[";
  EXPECT_EQ(lowerCase(high), "\xC4\xD6z@[");
}

TEST(CatalogPath, DecidesByTheTextAfterTheLastDot) {
  EXPECT_TRUE(isCatalogPath("x.cat"));
  EXPECT_TRUE(isCatalogPath("X.CAT"));
  EXPECT_TRUE(isCatalogPath("dir\\x.Cat"));
  EXPECT_TRUE(isCatalogPath(".cat"));
  EXPECT_FALSE(isCatalogPath("x.cat.bak"));
  EXPECT_FALSE(isCatalogPath("x.catalog"));
  EXPECT_FALSE(isCatalogPath("x"));
  EXPECT_FALSE(isCatalogPath("dir.cat\\x"));
  EXPECT_FALSE(isCatalogPath("x."));
}

TEST(CatalogPath, BasePathCutsTheLastExtensionOnly) {
  EXPECT_EQ(catalogBasePath("c:\\data\\01.cat"), "c:\\data\\01");
  EXPECT_EQ(catalogBasePath("01.CAT"), "01");
  EXPECT_EQ(catalogBasePath("a.b\\c"), "a.b\\c");
  EXPECT_EQ(catalogBasePath("a.b/c"), "a.b/c");
  EXPECT_EQ(catalogBasePath(".cat"), "");
  EXPECT_EQ(catalogBasePath("noextension"), "noextension");
}

TEST(ProgramName, PrefersTheLastBackslash) {
  EXPECT_EQ(programName("C:\\Tools\\vezazaz.exe"), "vezazaz.exe");
  EXPECT_EQ(programName("vezazaz"), "vezazaz");
  EXPECT_EQ(programName("./build/catpack"), "catpack");
  EXPECT_EQ(programName("a/b\\c/d"), "c/d");
}

}  // namespace
}  // namespace catpack
