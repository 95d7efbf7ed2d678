#include "folder/folder_writer.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using testing::TempFolder;

TEST(StaysInsideFolder, RefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"a", "a/b", "a\\b", "..a", "a..", "a/..b/c", ".../x", "./a"}) {
    EXPECT_TRUE(staysInsideFolder(name)) << name;
  }
  for (const char* name : {"", "/etc/x", "\\x", "..", "../x", "a/../../x", "a\\..\\x", "a/.."}) {
    EXPECT_FALSE(staysInsideFolder(name)) << name;
  }
}

TEST(WriteFileWithTime, CreatesLevelsAndSetsTheTimeModulo32Bits) {
  TempFolder folder;
  FolderWriter writer(folder.path());
  const std::string bytes = "content";
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  EXPECT_TRUE(writer.writeFileWithTime("one/two\\three.txt", data, 7, -1));
  EXPECT_EQ(folder.read("one/two/three.txt"), "content");
  EXPECT_EQ(folder.modificationTime("one/two/three.txt"), 4294967295LL);
  EXPECT_TRUE(writer.writeFileWithTime("one/empty", data, 0, 0x100000000LL + 99));
  EXPECT_EQ(folder.read("one/empty"), "");
  EXPECT_EQ(folder.modificationTime("one/empty"), 99);
  EXPECT_EQ(folder.listing(), "one/\none/empty\none/two/\none/two/three.txt\n");
}

TEST(WriteFileWithTime, ReplacesATargetKeepingItsPermissions) {
  TempFolder folder;
  folder.write("t.sh", "old old old");
  ::chmod(folder.at("t.sh").c_str(), 0751);
  FolderWriter writer(folder.path());
  const std::string bytes = "new";
  EXPECT_TRUE(writer.writeFileWithTime("t.sh", reinterpret_cast<const unsigned char*>(bytes.data()),
                                       3, 1000));
  EXPECT_EQ(folder.read("t.sh"), "new");
  struct stat info {};
  ::stat(folder.at("t.sh").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0751u);
  EXPECT_EQ(folder.listing(), "t.sh\n") << "no temporary file is left";
}

TEST(WriteFileWithTime, ReportsWhatStandsInTheWay) {
  TempFolder folder;
  folder.write("file", "x");
  folder.makeFolder("dir");
  FolderWriter writer(folder.path());
  CaptureStderr();
  EXPECT_FALSE(writer.writeFileWithTime("file/inner", nullptr, 0, 1));
  EXPECT_FALSE(writer.writeFileWithTime("dir", nullptr, 0, 1));
  EXPECT_EQ(GetCapturedStderr(),
            "Could neither open an existing subfolder nor create a new one named '" +
                folder.at("file") + "'\nFailed to open file '" + folder.at("dir") +
                "' for writing\n");
  EXPECT_EQ(folder.read("file"), "x");
  EXPECT_EQ(folder.listing(), "dir/\nfile\n");
}

}  // namespace
}  // namespace catpack
