#include "catalog/catalog_writer.h"

#include <string>

#include <gtest/gtest.h>

#include "catalog/catalog_format.h"
#include "catalog/catalog_reader.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::TempFolder;

TEST(WriteCatalog, AFolderWhereAFileMustGoFailsWithoutWriting) {
  for (const char* inTheWay : {"out.cat", "out.dat"}) {
    TempFolder folder;
    folder.makeFolder(inTheWay);
    FileIndex index;
    index.addDeletion("x");
    CaptureStderr();
    EXPECT_FALSE(writeCatalog(index, folder.at("out"), false, false));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(folder.listing(), std::string(inTheWay) + "/\n");
  }
}

TEST(WriteCatalog, ReadsBackWhatItWroteInBothFormats) {
  TempFolder folder;
  folder.write("src/b.txt", "bee", 20);
  folder.write("src/A.txt", "a", 10);
  FileIndex index;
  index.addFolderFile("b.txt", 3, 20, folder.at("src"));
  index.addFolderFile("A.txt", 1, 10, folder.at("src"));
  index.addDeletion("gone");
  for (bool oldFormat : {false, true}) {
    CaptureStdout();
    ASSERT_TRUE(writeCatalog(index, folder.at("out"), false, oldFormat));
    FileIndex back;
    ASSERT_TRUE(readCatalog(back, folder.at("out")));
    GetCapturedStdout();
    EXPECT_EQ(isOldCatalog(folder.at("out")), oldFormat);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back.find("a.txt")->name, "A.txt");
    EXPECT_EQ(back.find("a.txt")->offset, 0u);
    EXPECT_EQ(back.find("b.txt")->offset, 1u);
    EXPECT_EQ(back.find("b.txt")->scrambled, oldFormat);
    EXPECT_EQ(back.find("b.txt")->time, oldFormat ? 0 : 20);
    EXPECT_EQ(back.find("gone")->size, 0);
    EXPECT_EQ(folder.read("out.dat"), oldFormat ? std::string("*)..") : std::string("abee"));
  }
}

}  // namespace
}  // namespace catpack
