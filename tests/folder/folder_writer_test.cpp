#include "folder/folder_writer.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/platform_facts.h"
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
  // A colon names a drive or a stream where the platform knows them.
  for (const char* name : {"c:x", "a/b:stream", "x:"}) {
    EXPECT_EQ(staysInsideFolder(name), !platform::refusesColonInNames()) << name;
  }
}

// An entry whose bytes are the file `name` below `folder`.
FileEntry folderFile(const std::string& folder, const std::string& name, std::int32_t size,
                     std::int64_t time) {
  FileEntry entry;
  entry.name = name;
  entry.size = size;
  entry.time = time;
  entry.folder = folder;
  return entry;
}

TEST(WriteEntryToFolder, CreatesLevelsAndSetsTheTimeModulo32Bits) {
  TempFolder source;
  source.write("one/two\\three.txt", "content");
  TempFolder out;
  FolderWriter writer(out.path());
  writer.writeEntryToFolder(folderFile(source.path(), "one/two\\three.txt", 7, -1));
  writer.writeEntryToFolder(folderFile("nowhere", "one/empty", 0, 0x100000000LL + 99));
  CaptureStderr();
  writer.finish();
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(out.read("one/two/three.txt"), "content");
  EXPECT_EQ(out.modificationTime("one/two/three.txt"), 4294967295LL);
  EXPECT_EQ(out.read("one/empty"), "");
  EXPECT_EQ(out.modificationTime("one/empty"), 99);
  EXPECT_EQ(out.listing(), "one/\none/empty\none/two/\none/two/three.txt\n");
}

TEST(WriteEntryToFolder, UnscramblesOldMembers) {
  TempFolder folder;
  folder.write("old.dat", std::string("xx") + static_cast<char>('h' ^ 0x4B) + static_cast<char>('i' ^ 0x4B));
  FileEntry member;
  member.name = "hi.txt";
  member.size = 2;
  member.time = 5;
  member.inCatalog = true;
  member.scrambled = true;
  member.catalog = folder.at("old");
  member.offset = 2;
  FolderWriter writer(folder.path());
  writer.writeEntryToFolder(member);
  writer.finish();
  EXPECT_EQ(folder.read("hi.txt"), "hi");
}

TEST(WriteEntryToFolder, ReplacesATargetKeepingItsPermissions) {
  namespace fs = std::filesystem;
  // Bits a new file keeps and bits the creation mask usually takes away.
  for (const unsigned bits : {0751u, 0666u}) {
    TempFolder folder;
    folder.write("src/t.sh", "new");
    folder.write("out/t.sh", "old old old");
    const fs::perms kept = testing::hasPosixFileSystem() ? static_cast<fs::perms>(bits) : fs::perms::all;
    fs::permissions(folder.at("out/t.sh"), kept);
    const fs::perms before = fs::status(folder.at("out/t.sh")).permissions();
    FolderWriter writer(folder.at("out"));
    writer.writeEntryToFolder(folderFile(folder.at("src"), "t.sh", 3, 1000));
    EXPECT_EQ(folder.read("out/t.sh"), "old old old") << "replaced only once it is on the disk";
    writer.finish();
    EXPECT_EQ(folder.read("out/t.sh"), "new");
    EXPECT_EQ(fs::status(folder.at("out/t.sh")).permissions(), before) << std::oct << bits;
    EXPECT_EQ(folder.listing(), "out/\nout/t.sh\nsrc/\nsrc/t.sh\n") << "no temporary file is left";
  }
}

TEST(WriteEntryToFolder, ReportsWhatStandsInTheWay) {
  TempFolder folder;
  folder.write("file", "x");
  folder.makeFolder("dir");
  FolderWriter writer(folder.path());
  CaptureStderr();
  writer.writeEntryToFolder(folderFile("", "file/inner", 0, 1));
  writer.writeEntryToFolder(folderFile("", "dir", 0, 1));
  writer.finish();
  EXPECT_EQ(GetCapturedStderr(),
            "Could neither open an existing subfolder nor create a new one named '" +
                folder.at("file") + "'\nFailed writing file file/inner to folder " + folder.path() +
                "\nFailed to open file '" + folder.at("dir") + "' for writing\nFailed writing file dir to folder " +
                folder.path() + "\n");
  EXPECT_EQ(folder.read("file"), "x");
  EXPECT_EQ(folder.listing(), "dir/\nfile\n");
}

}  // namespace
}  // namespace catpack
