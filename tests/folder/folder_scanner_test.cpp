#include "folder/folder_scanner.h"

#include <gtest/gtest.h>

#include "support/platform_facts.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::TempFolder;

struct Scanned {
  FileIndex index;
  bool complete = false;
  std::string out;
  std::string err;
};

Scanned scan(const std::string& root, const PatternList& patterns = {}) {
  Scanned result;
  FolderExclusion exclusion(patterns);
  CaptureStdout();
  CaptureStderr();
  result.complete = scanFolder(result.index, root, "", root, exclusion);
  result.out = GetCapturedStdout();
  result.err = GetCapturedStderr();
  return result;
}

TEST(ScanFolder, NamesFilesRelativeToTheRoot) {
  TempFolder folder;
  folder.write("root/a.txt", "aa", 5000);
  folder.write("root/Sub/B.TXT", "bbb", 6000);
  folder.write("root/.hidden", "", 7000);
  folder.makeFolder("root/empty");
  const Scanned result = scan(folder.at("root"));
  EXPECT_TRUE(result.complete);
  EXPECT_EQ(result.err, "");
  ASSERT_EQ(result.index.size(), 3u);
  const auto nested = result.index.find("sub/b.txt");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(nested->name, "Sub/B.TXT");
  EXPECT_EQ(nested->size, 3);
  EXPECT_EQ(nested->time, 6000);
  EXPECT_EQ(nested->folder, folder.at("root"));
  EXPECT_EQ(result.index.find(".hidden")->time, 7000);
}

TEST(ScanFolder, SkipsExcludedSubfoldersAsSpeltOnDisk) {
  TempFolder folder;
  folder.write("root/assets/x", "1");
  folder.write("root/Assets2/assets/y", "2");
  folder.write("root/data/assets/z", "3");
  const Scanned result = scan(folder.at("root"), {"-^assets", "+^data/"});
  EXPECT_EQ(result.out, "Skipping assets/..\n");
  EXPECT_EQ(result.index.size(), 2u);
  EXPECT_NE(result.index.find("assets2/assets/y"), nullptr);
  EXPECT_NE(result.index.find("data/assets/z"), nullptr);
}

TEST(ScanFolder, ReportsDanglingLinksAndFolderCycles) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "making symbolic links needs privileges on Windows";
  TempFolder folder;
  folder.write("root/sub/file", "x");
  folder.link("root/sub/dangling", "nowhere");
  folder.link("root/sub/up", "..");
  folder.link("root/sub/self", ".");
  const Scanned result = scan(folder.at("root"));
  EXPECT_TRUE(result.complete);
  EXPECT_NE(result.err.find("Illegal file sub/dangling\n"), std::string::npos);
  EXPECT_NE(result.err.find("Skipping folder cycle sub/up/\n"), std::string::npos);
  EXPECT_NE(result.err.find("Skipping folder cycle sub/self/\n"), std::string::npos);
  EXPECT_EQ(result.index.size(), 1u);
}

TEST(ScanFolder, AFolderThatCannotBeListedEndsTheScan) {
  TempFolder folder;
  const Scanned result = scan(folder.at("missing"));
  EXPECT_FALSE(result.complete);
  EXPECT_EQ(result.err, "Failed accessing directory " + folder.at("missing") + "!\n");
}

}  // namespace
}  // namespace catpack
