#include "index/entry_content.h"

#include <gtest/gtest.h>

#include "digest/md5.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using testing::TempFolder;

const std::string content = "plain content of a member";
const std::string contentDigest = md5HexOfBuffer(content.data(), static_cast<std::uint32_t>(content.size()));

std::string scrambled(std::string bytes) {
  for (char& byte : bytes) byte = static_cast<char>(byte ^ dataKey);
  return bytes;
}

FileEntry memberOf(const std::string& catalog, std::uint64_t offset, bool isScrambled) {
  FileEntry entry;
  entry.name = "member";
  entry.size = static_cast<std::int32_t>(content.size());
  entry.inCatalog = true;
  entry.scrambled = isScrambled;
  entry.catalog = catalog;
  entry.offset = offset;
  return entry;
}

TEST(EntryDigest, AStatedDigestIsUsedWithoutReading) {
  FileEntry entry = memberOf("nowhere", 0, false);
  entry.digest = "0123456789abcdef0123456789abcdef";
  CaptureStderr();
  EXPECT_EQ(entryDigest(entry), entry.digest);
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(EntryDigest, HashesFolderFilesAndMembersAlike) {
  TempFolder folder;
  folder.write("root/sub/file", content);
  folder.write("plain.dat", "xx" + content);
  folder.write("old.dat", "yyy" + scrambled(content));

  FileEntry file;
  file.name = "sub/file";
  file.size = static_cast<std::int32_t>(content.size());
  file.folder = folder.at("root");
  EXPECT_EQ(entryDigest(file), contentDigest);
  EXPECT_EQ(entryDigest(memberOf(folder.at("plain"), 2, false)), contentDigest);
  EXPECT_EQ(entryDigest(memberOf(folder.at("old"), 3, true)), contentDigest);
}

TEST(EntryDigest, WhatCannotBeReadGivesTheEmptyText) {
  TempFolder folder;
  FileEntry file;
  file.name = "gone";
  file.folder = folder.path();
  CaptureStderr();
  EXPECT_EQ(entryDigest(file), "");
  EXPECT_EQ(GetCapturedStderr(), "") << "a folder file that cannot be opened gives no message";

  CaptureStderr();
  EXPECT_EQ(entryDigest(memberOf(folder.at("missing"), 0, false)), "");
  EXPECT_EQ(GetCapturedStderr(), "[Load] Failed to open file " + folder.at("missing") + ".dat\n");

  FileEntry marker;
  marker.name = "etc/passwd";
  EXPECT_EQ(entryDigest(marker), "") << "a marker has no source to read";
}

}  // namespace
}  // namespace catpack
