#include "util/file_status.h"

#include <gtest/gtest.h>

#include "support/platform_facts.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::TempFolder;

// The time fileSizeAndTime gives for `path`, whose size it gives as
// fileSize does.
std::int64_t timeOf(const std::string& path) {
  std::int64_t time = -99;
  EXPECT_EQ(fileSizeAndTime(path, time), fileSize(path)) << path;
  return time;
}

TEST(FileStatus, SizesFilesFoldersAndMissingPaths) {
  TempFolder folder;
  folder.write("empty", "");
  folder.write("three", "abc", 1234567);
  folder.makeFolder("sub.cat");
  EXPECT_EQ(fileSize(folder.at("empty")), 0);
  EXPECT_EQ(fileSize(folder.at("three")), 3);
  EXPECT_EQ(timeOf(folder.at("three")), 1234567);
  EXPECT_EQ(fileSize(folder.at("sub.cat")), -2);
  EXPECT_EQ(fileSize(folder.at("missing")), -1);
  EXPECT_EQ(timeOf(folder.at("missing")), 0);
}

TEST(FileStatus, FilesOfTwoGibibytesOrMoreCannotBeSized) {
  TempFolder folder;
  folder.write("big", "", 99);
  folder.resize("big", 0x80000000u);
  EXPECT_EQ(fileSize(folder.at("big")), -1);
  EXPECT_EQ(timeOf(folder.at("big")), 0);
  folder.resize("big", 0x7FFFFFFFu);
  EXPECT_EQ(fileSize(folder.at("big")), 0x7FFFFFFF);
  // A size whose low 32 bits look small is still too large.
  folder.resize("big", (std::uint64_t{4} << 30) + 5);
  EXPECT_EQ(fileSize(folder.at("big")), -1);
  EXPECT_EQ(timeOf(folder.at("big")), 0);
}

TEST(FileStatus, TimesBeforeNineteenSeventyAndBeyondThirtyTwoBitsAreExact) {
  TempFolder folder;
  for (const std::int64_t time : {std::int64_t{-78781}, std::int64_t{-1}, std::int64_t{1} << 32,
                                  (std::int64_t{1} << 32) + 12345, std::int64_t{10000000000}}) {
    folder.write("file", "abc", time);
    ASSERT_EQ(folder.modificationTime("file"), time) << "the file system holds " << time;
    EXPECT_EQ(timeOf(folder.at("file")), time);
    EXPECT_EQ(fileSize(folder.at("file")), 3) << time;
  }
}

TEST(FileStatus, AFolderTypedWithTrailingSeparatorsIsThatFolder) {
  TempFolder folder;
  folder.write("sub/file", "abc", 5);
  const std::string sub = folder.at("sub");
  const std::string native = testing::native("/");
  for (const std::string& typed : {sub + "/", sub + native, sub + native + native, sub + "//" + native}) {
    EXPECT_EQ(fileSize(typed), -2) << typed;
  }
  // A file cannot be reached through a name that ends in a separator.
  EXPECT_EQ(fileSize(folder.at("sub/file") + "/"), -1);
  EXPECT_EQ(fileSize(folder.at("sub/file") + native), -1);
  EXPECT_EQ(timeOf(folder.at("sub/file") + native), 0);
}

}  // namespace
}  // namespace catpack
