#include "index/diff.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::TempFolder;

FileIndex indexOf(std::initializer_list<std::tuple<const char*, int, std::int64_t, const char*>> members) {
  FileIndex index;
  for (const auto& [name, size, time, digest] : members) {
    index.addCatalogMember(name, size, time, "c", 0, digest, false);
  }
  return index;
}

const char* const digestA = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
const char* const digestB = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";

TEST(ApplyDiff, KeepsNewAndChangedFilesAndMarksDeletions) {
  FileIndex result = indexOf({
      {"new.txt", 5, 100, digestA},
      {"resized.txt", 6, 100, digestA},
      {"same-time.txt", 5, 100, digestA},
      {"hour-later.txt", 5, 100, digestA},
      {"hour-earlier.txt", 5, 100, digestA},
      {"touched.txt", 5, 100, digestA},
      {"edited.txt", 5, 100, digestA},
      {"Data/A.xml", 5, 100, digestA},
  });
  const FileIndex base = indexOf({
      {"resized.txt", 5, 100, digestA},
      {"same-time.txt", 5, 100, digestB},
      {"hour-later.txt", 5, 3700, digestB},
      {"hour-earlier.txt", 5, 100 - 3600, digestB},
      {"touched.txt", 5, 99999, digestA},
      {"edited.txt", 5, 99999, digestB},
      {"data/a.xml", 5, 100, digestA},
      {"Gone.txt", 5, 100, digestA},
      {"was-deleted.txt", 0, 0, ""},
  });
  applyDiff(result, base);
  std::vector<std::string> names;
  for (const auto& [key, entry] : result) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"edited.txt", "Gone.txt", "new.txt", "resized.txt"}));
  EXPECT_TRUE(isDeletionMarker(*result.find("gone.txt")));
  EXPECT_EQ(base.size(), 9u) << "the base is left as it was";
}

TEST(ApplyDiff, ContentsDecideEveryPairOfEqualSizeWhenAsked) {
  FileIndex result = indexOf({
      {"new.txt", 5, 100, digestA},
      {"resized.txt", 6, 100, digestA},
      {"same-time.txt", 5, 100, digestA},
      {"same-bytes.txt", 5, 100, digestA},
      {"hour-later.txt", 5, 100, digestA},
      {"hour-earlier.txt", 5, 100, digestA},
      {"touched.txt", 5, 100, digestA},
      {"Data/A.xml", 5, 100, digestA},
  });
  const FileIndex base = indexOf({
      {"resized.txt", 5, 100, digestA},
      {"same-time.txt", 5, 100, digestB},
      {"same-bytes.txt", 5, 100, digestA},
      {"hour-later.txt", 5, 3700, digestB},
      {"hour-earlier.txt", 5, 100 - 3600, digestB},
      {"touched.txt", 5, 99999, digestA},
      {"data/a.xml", 5, 100, digestB},
      {"Gone.txt", 5, 100, digestA},
  });
  applyDiff(result, base, 0, SameSizeCheck::contents);
  std::vector<std::string> names;
  for (const auto& [key, entry] : result) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Data/A.xml", "Gone.txt", "hour-earlier.txt",
                                             "hour-later.txt", "new.txt", "resized.txt",
                                             "same-time.txt"}));
}

TEST(ApplyDiff, TimesOfZeroAreDecidedByDigests) {
  FileIndex result = indexOf({{"same", 4, 0, digestA}, {"other", 4, 0, digestA}});
  const FileIndex base = indexOf({{"same", 4, 0, digestA}, {"other", 4, 0, digestB}});
  applyDiff(result, base);
  ASSERT_EQ(result.size(), 1u);
  EXPECT_NE(result.find("other"), nullptr);
}

TEST(ApplyDiff, ReadsFolderFilesWhenTimesDoNotDecide) {
  TempFolder folder;
  folder.write("a/same.bin", "12345", 1000);
  folder.write("b/same.bin", "12345", 900000);
  folder.write("a/changed.bin", "12345", 1000);
  folder.write("b/changed.bin", "54321", 900000);
  FileIndex result;
  FileIndex base;
  for (const char* name : {"same.bin", "changed.bin"}) {
    result.addFolderFile(name, 5, 1000, folder.at("a"));
    base.addFolderFile(name, 5, 900000, folder.at("b"));
  }
  applyDiff(result, base);
  ASSERT_EQ(result.size(), 1u);
  EXPECT_NE(result.find("changed.bin"), nullptr);
}

TEST(ApplyDiff, TwoUnreadableContentsCountAsEqual) {
  TempFolder folder;
  FileIndex result;
  FileIndex base;
  result.addFolderFile("lost", 5, 1, folder.at("a"));
  base.addFolderFile("lost", 5, 2, folder.at("b"));
  applyDiff(result, base);
  EXPECT_TRUE(result.empty());
}

TEST(ApplyDiff, AnEmptyBaseChangesNothing) {
  FileIndex result = indexOf({{"x", 1, 1, digestA}});
  applyDiff(result, FileIndex());
  EXPECT_EQ(result.size(), 1u);
}

}  // namespace
}  // namespace catpack
