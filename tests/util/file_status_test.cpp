#include "util/file_status.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::TempFolder;

TEST(FileStatus, SizesFilesFoldersAndMissingPaths) {
  TempFolder folder;
  folder.write("empty", "");
  folder.write("three", "abc", 1234567);
  folder.makeFolder("sub.cat");
  EXPECT_EQ(fileSize(folder.at("empty")), 0);
  EXPECT_EQ(fileSize(folder.at("three")), 3);
  EXPECT_EQ(fileTime(folder.at("three")), 1234567);
  EXPECT_EQ(fileSize(folder.at("sub.cat")), -2);
  EXPECT_EQ(fileSize(folder.at("missing")), -1);
  EXPECT_EQ(fileTime(folder.at("missing")), 0);
}

TEST(FileStatus, FilesOfTwoGibibytesOrMoreCannotBeSized) {
  TempFolder folder;
  folder.write("big", "", 99);
  folder.resize("big", 0x80000000u);
  EXPECT_EQ(fileSize(folder.at("big")), -1);
  EXPECT_EQ(fileTime(folder.at("big")), 0);
  folder.resize("big", 0x7FFFFFFFu);
  EXPECT_EQ(fileSize(folder.at("big")), 0x7FFFFFFF);
  // A size whose low 32 bits look small is still too large.
  folder.resize("big", (std::uint64_t{4} << 30) + 5);
  EXPECT_EQ(fileSize(folder.at("big")), -1);
  EXPECT_EQ(fileTime(folder.at("big")), 0);
}

}  // namespace
}  // namespace catpack
