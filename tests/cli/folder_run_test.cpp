// Folder trees through the command line: scanning, mixing with catalogs,
// writing trees with their times, and the faults users' trees bring.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::oldIndexText;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;
using testing::underDataKey;

class FolderRun : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  RunResult runUnprivileged(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path(), {.unprivileged = true});
  }
  TempFolder folder;
};

std::string bytesOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file below `a` is below `b` with the same bytes and time, and back.
void expectSameTrees(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(a)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    const fs::path twin = fs::path(b) / fs::relative(entry.path(), a);
    ASSERT_TRUE(fs::is_regular_file(twin)) << twin;
    EXPECT_EQ(fs::file_size(twin), entry.file_size()) << twin;
    EXPECT_EQ(fs::last_write_time(twin), entry.last_write_time()) << twin;
    EXPECT_TRUE(bytesOf(twin) == bytesOf(entry.path())) << twin;
  }
  std::size_t twins = 0;
  for (const auto& entry : fs::recursive_directory_iterator(b)) twins += entry.is_regular_file();
  EXPECT_EQ(files, twins);
}

TEST_F(FolderRun, TreesComeBackWithTheirBytesAndTimes) {
  folder.write("tree/one.txt", "one", 1000000);
  folder.write("tree/deep/er/two.bin", testing::randomBytes(100000, 9), 2000000);
  folder.write("tree/deep/empty", "", 3000000);
  folder.write("tree/with space/caf\xC3\xA9 \xE9.txt", "high bytes", 4000000);
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  ASSERT_EQ(run({"-in", "x.cat", "-zarn3cat", "-out", "old.cat"}).exitCode, 0);
  for (const char* source : {"tree", "x.cat"}) {
    const std::string out = std::string("from-") + (source[0] == 't' ? "tree" : "catalog");
    folder.makeFolder(out);
    const RunResult result = run({"-in", source, "-out", out});
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    expectSameTrees(folder.at("tree"), folder.at(out));
  }
  folder.makeFolder("out-old");
  ASSERT_EQ(run({"-in", "old.cat", "-out", "out-old"}).exitCode, 0);
  EXPECT_TRUE(folder.read("out-old/deep/er/two.bin") == folder.read("tree/deep/er/two.bin"));
  EXPECT_EQ(folder.modificationTime("out-old/deep/er/two.bin"), 0) << "old members have no time";
}

TEST_F(FolderRun, MatchesWhatTarExtracts) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows has no tar to compare with";
  folder.write("tree/a/b.txt", "bee", 1234567890);
  folder.write("tree/c.dat", testing::randomBytes(5000, 4), 987654321);
  ASSERT_EQ(std::system(("cd '" + folder.path() + "' && tar -cf t.tar -C tree . && mkdir by-tar && "
                         "tar -xf t.tar -C by-tar").c_str()),
            0);
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  folder.makeFolder("by-catpack");
  ASSERT_EQ(run({"-in", "x.cat", "-out", "by-catpack"}).exitCode, 0);
  expectSameTrees(folder.at("by-tar"), folder.at("by-catpack"));
}

TEST_F(FolderRun, TheLaterInputSuppliesTheBytes) {
  folder.write("base/Shared.txt", "from base", 100);
  folder.write("base/only-base.txt", "b", 100);
  folder.write("patch/shared.TXT", "from patch", 200);
  ASSERT_EQ(run({"-in", "patch", "-out", "patch.cat"}).exitCode, 0);
  folder.makeFolder("out1");
  folder.makeFolder("out2");
  EXPECT_EQ(run({"-in", "base", "patch.cat", "-out", "out1"}).exitCode, 0);
  EXPECT_EQ(folder.read("out1/shared.TXT"), "from patch");
  EXPECT_EQ(folder.modificationTime("out1/shared.TXT"), 200);
  EXPECT_EQ(folder.listing().find("out1/Shared.txt"), std::string::npos) << "the name as the later input spells it";
  EXPECT_EQ(run({"-in", "patch.cat", "base", "-out", "out2"}).exitCode, 0);
  EXPECT_EQ(folder.read("out2/Shared.txt"), "from base");
  EXPECT_EQ(folder.read("out2/only-base.txt"), "b");
}

TEST_F(FolderRun, AFolderTypedWithTrailingSeparatorsIsReadAndWritten) {
  folder.write("tree/a.txt", "abc", 7);
  folder.write("tree/sub/b.txt", "bb", 8);
  folder.write("base/a.txt", "abc", 7);
  const std::string listing = "       2        8 sub/b.txt sub/b.txt\n";
  for (const std::string& typed : {std::string("tree/"), std::string("tree//"), testing::native("tree/"),
                                   testing::native("tree//") + "/"}) {
    const RunResult input = run({"-in", typed, "-diff", testing::native("base/"), "-dump"});
    EXPECT_EQ(input.err, "") << typed;
    EXPECT_EQ(input.exitCode, 0) << typed;
    EXPECT_EQ(input.out, console(banner + ("Reading from folder " + typed + "\nReading from folder " +
                                           testing::native("base/") + "\n" + listing)))
        << typed;
  }
  folder.makeFolder("out");
  const std::string out = testing::native("out/");
  const RunResult written = run({"-in", testing::native("tree/"), "-out", out});
  EXPECT_EQ(written.err, "");
  EXPECT_EQ(written.exitCode, 0);
  EXPECT_EQ(written.out, console(banner + ("Reading from folder " + testing::native("tree/") +
                                           "\nWriting to Folder " + out + "\n")));
  expectSameTrees(folder.at("tree"), folder.at("out"));
}

TEST_F(FolderRun, TimesBeforeNineteenSeventyAndBeyondThirtyTwoBitsAreRead) {
  folder.write("tree/early.txt", "e", -78781);
  folder.write("tree/late.txt", "l", (std::int64_t{1} << 32) + 12345);
  const RunResult result = run({"-in", "tree", "-dump"});
  EXPECT_EQ(result.err, "");
  // The listing shows the low 32 bits of a time.
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\n"
                                                     "       1   -78781 early.txt early.txt\n"
                                                     "       1    12345 late.txt late.txt\n")));
}

TEST_F(FolderRun, ExcludedFoldersAreSkippedAsSpeltOnDisk) {
  folder.write("tree/assets/a.png", "a", 1);
  folder.write("tree/Assets2/b.png", "b", 1);
  folder.write("tree/data/assets/c.png", "c", 1);
  folder.write("upper/Assets/d.png", "d", 1);
  const RunResult result = run({"-in", "tree", "upper", "-exclude", "^assets", "-dump"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\nSkipping assets/..\n"
                                             "Reading from folder upper\n"
                                             "Start Filtering\nFiltering with Exclude ^assets\n"
                                             "Done Filtering\n"
                                             "       1        1 data/assets/c.png data/assets/c.png\n")));
}

TEST_F(FolderRun, AFaultyEntryIsReportedAndTheRestGoesOn) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "making symbolic links needs privileges on Windows";
  folder.write("tree/ok.txt", "ok", 1);
  folder.write("tree/loop/inner.txt", "in", 1);
  folder.link("tree/dangling", "missing");
  folder.link("tree/loop/again", "..");
  const RunResult result = run({"-in", "tree", "-dump"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find(console("Illegal file dangling\n")), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(console("Skipping folder cycle loop/again/\n")), std::string::npos);
  EXPECT_NE(result.out.find(console(" loop/inner.txt loop/inner.txt\n")), std::string::npos);
  EXPECT_NE(result.out.find(console(" ok.txt ok.txt\n")), std::string::npos);
}

TEST_F(FolderRun, FilesOfTwoGibibytesOrMoreAreIllegal) {
  folder.write("tree/small.txt", "s", 1);
  folder.write("tree/big.bin", "", 1);
  folder.resize("tree/big.bin", std::uint64_t{1} << 31);
  folder.write("tree/huge.bin", "", 1);
  folder.resize("tree/huge.bin", (std::uint64_t{4} << 30) + 5);
  const RunResult result = run({"-in", "tree", "-dump"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.err.find(console("Illegal file big.bin\n")), std::string::npos) << result.err;
  EXPECT_NE(result.err.find(console("Illegal file huge.bin\n")), std::string::npos) << result.err;
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\n"
                                                     "       1        1 small.txt small.txt\n")));
}

TEST_F(FolderRun, AFolderThatCannotBeListedEndsThatInput) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows folders have no POSIX permission bits";
  folder.write("tree/a.txt", "a", 1);
  folder.write("tree/locked/b.txt", "b", 1);
  folder.write("next/c.txt", "c", 1);
  std::filesystem::permissions(folder.at("tree/locked"), std::filesystem::perms::none);
  const RunResult result = runUnprivileged({"-in", "tree", "next", "-dump"});
  EXPECT_EQ(result.err, console("Failed accessing directory tree/locked!\n"));
  EXPECT_NE(result.out.find(console(" c.txt c.txt\n")), std::string::npos) << "the next input is read";
  EXPECT_EQ(result.out.find("b.txt"), std::string::npos);
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(FolderRun, WritesOnlyInsideTheOutputFolder) {
  folder.write("evil.cat", oldIndexText("foo.dat\n../escaped.txt 1\n/abs.txt 1\na/../../up.txt 1\n"
                                        "a\\..\\..\\back.txt 1\nfine/ok.txt 1\n"));
  folder.write("evil.dat", underDataKey("12345"));
  folder.makeFolder("out");
  const RunResult result = run({"-in", "evil.cat", "-out", "out"});
  EXPECT_EQ(result.err, console("Refusing to write file ../escaped.txt outside folder out\n"
                        "Refusing to write file /abs.txt outside folder out\n"
                        "Refusing to write file a/../../up.txt outside folder out\n"
                        "Refusing to write file a\\..\\..\\back.txt outside folder out\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/fine/ok.txt"), "5");
  EXPECT_EQ(folder.listing(), "evil.cat\nevil.dat\nout/\nout/fine/\nout/fine/ok.txt\n");
}

TEST_F(FolderRun, NamesWithAColonAreRefusedWhereTheyNameADriveOrStream) {
  folder.write("colon.cat", "c:drive.txt 1 5 " + std::string(32, '0') + "\nsub/file:stream 1 6 " +
                                std::string(32, '0') + "\nplain.txt 1 7 " + std::string(32, '0') + "\n");
  folder.write("colon.dat", "abc");
  folder.makeFolder("out");
  const RunResult result = run({"-in", "colon.cat", "-out", "out"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/plain.txt"), "c");
  if (platform::refusesColonInNames()) {
    EXPECT_EQ(result.err, console("Refusing to write file c:drive.txt outside folder out\n"
                                  "Refusing to write file sub/file:stream outside folder out\n"));
    EXPECT_EQ(folder.listing(), "colon.cat\ncolon.dat\nout/\nout/plain.txt\n");
  } else {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folder.read("out/c:drive.txt"), "a");
    EXPECT_EQ(folder.read("out/sub/file:stream"), "b");
  }
}

TEST_F(FolderRun, BackslashesSeparateLevelsOnOutput) {
  folder.write("tree/back\\slash.txt", "bs", 5);
  folder.makeFolder("out");
  const RunResult result = run({"-in", "tree", "-out", "out"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/back/slash.txt"), "bs");
  EXPECT_EQ(folder.modificationTime("out/back/slash.txt"), 5);
}

TEST_F(FolderRun, WhatStandsInTheWayIsReportedAndLeftAlone) {
  folder.write("tree/docs/x.txt", "x", 1);
  folder.write("tree/readme.txt", "new", 1);
  folder.write("tree/z.txt", "z", 1);
  folder.write("out/docs", "a file where a folder must go");
  folder.makeFolder("out/readme.txt");
  folder.write("out/untouched.txt", "stays");
  const RunResult result = run({"-in", "tree", "-out", "out"});
  EXPECT_EQ(result.err,
            console("Could neither open an existing subfolder nor create a new one named '" +
                    testing::native("out/docs") + "'\nFailed writing file docs/x.txt to folder out\n"
                    "Failed to open file '" + testing::native("out/readme.txt") + "' for writing\n"
                    "Failed writing file readme.txt to folder out\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/docs"), "a file where a folder must go");
  EXPECT_EQ(folder.read("out/z.txt"), "z");
  EXPECT_EQ(folder.read("out/untouched.txt"), "stays");
}

TEST_F(FolderRun, AMemberNamedLikeAFolderCannotBeOpenedForWriting) {
  folder.write("dirs.cat", "dir/ 1 5 " + std::string(32, '0') + "\nnext/ 1 6 " + std::string(32, '0') +
                               "\nplain.txt 1 7 " + std::string(32, '0') + "\n");
  folder.write("dirs.dat", "abc");
  folder.write("out/dir/keep.txt", "kept");  // a folder there already, and one made for the name
  const RunResult result = run({"-in", "dirs.cat", "-out", "out"});
  EXPECT_EQ(result.err, console("Failed to open file '" + testing::native("out/dir/") + "' for writing\n"
                                "Failed writing file dir/ to folder out\n"
                                "Failed to open file '" + testing::native("out/next/") + "' for writing\n"
                                "Failed writing file next/ to folder out\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("out/plain.txt"), "c");
  EXPECT_EQ(folder.read("out/dir/keep.txt"), "kept");
  EXPECT_EQ(folder.listing(), "dirs.cat\ndirs.dat\nout/\nout/dir/\nout/dir/keep.txt\nout/next/\n"
                              "out/plain.txt\n");
}

TEST_F(FolderRun, AShrunkFileIsAReadFailureAndNothingIsTruncated) {
  // Writing a.txt into tree/sub replaces tree/sub/a.txt, which is then
  // shorter than the scan found it.
  folder.write("tree/a.txt", "xy", 1);
  folder.write("tree/sub/a.txt", "longer content", 2);
  const RunResult result = run({"-in", "tree", "-out", "tree/sub"});
  EXPECT_EQ(result.err, console("[Load] Failed to read from file tree/sub/a.txt\n"
                        "Failed reading file sub/a.txt from tree\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(folder.exists("tree/sub/sub"));
}

// "f" and `at` in four digits, so that key order is the order of numbers.
std::string numberedName(unsigned at) {
  char name[16];
  std::snprintf(name, sizeof name, "f%04u", at);
  return name;
}

TEST_F(FolderRun, ManyReplacedFilesKeepTheOrderOfTheirMessages) {
  // More files than are put in place at once (2048 at most), every one
  // replacing a file; some are blocked by a folder of their name, whose
  // messages must come in key order between the others.
  std::string expected;
  for (unsigned at = 0; at < 2100; ++at) {
    const std::string name = numberedName(at);
    folder.write("tree/" + name, "new " + std::to_string(at), 1000 + at);
    if (at % 97 == 5) {
      folder.makeFolder("out/" + name);
      expected += "Failed to open file '" + testing::native("out/" + name) +
                  "' for writing\nFailed writing file " + name + " to folder out\n";
    } else {
      folder.write("out/" + name, "old");
    }
  }
  ASSERT_EQ(run({"-in", "tree", "-out", "pack.cat"}).exitCode, 0);
  const RunResult result = run({"-in", "pack.cat", "-out", "out"});
  EXPECT_EQ(result.err, console(expected));
  EXPECT_EQ(result.exitCode, 0);
  for (unsigned at = 0; at < 2100; ++at) {
    if (at % 97 == 5) continue;
    const std::string name = numberedName(at);
    EXPECT_EQ(folder.read("out/" + name), "new " + std::to_string(at)) << name;
    EXPECT_EQ(folder.modificationTime("out/" + name), 1000 + at) << name;
  }
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(FolderRun, TwoNamesOfOneFileGiveItTheBytesOfTheLaterInKeyOrder) {
  // "dN/x" and "dN\\x" name one file, with "dN/y" between them in key order:
  // the later must win however the files are shared out among threads, on
  // a new tree and over one that holds every target.
  constexpr unsigned folders = 300;
  for (unsigned at = 0; at < folders; ++at) {
    const std::string level = "d" + std::to_string(at);
    folder.write("first/" + level + "/x", "first " + std::to_string(at), 1000 + at);
    folder.write("first/" + level + "/y", "between", 3000 + at);
    folder.write("second/" + level + "/x", "the second " + std::to_string(at), 5000 + at);
  }
  ASSERT_EQ(run({"-in", "first", "-out", "first.cat"}).exitCode, 0);
  ASSERT_EQ(run({"-in", "second", "-out", "second.cat"}).exitCode, 0);
  // The second catalog names its members with backslashes.
  std::string index = folder.read("second.cat");
  for (std::size_t slash = index.find('/'); slash != std::string::npos; slash = index.find('/', slash)) {
    index[slash] = '\\';
  }
  folder.write("second.cat", index);
  folder.makeFolder("out");
  for (const char* pass : {"new tree", "every target there"}) {
    const RunResult result = run({"-in", "first.cat", "-in", "second.cat", "-out", "out"});
    EXPECT_EQ(result.exitCode, 0) << pass;
    EXPECT_EQ(result.err, "") << pass;
    for (unsigned at = 0; at < folders; ++at) {
      const std::string level = "out/d" + std::to_string(at);
      EXPECT_EQ(folder.read(level + "/x"), "the second " + std::to_string(at)) << pass << " " << at;
      EXPECT_EQ(folder.modificationTime(level + "/x"), 5000 + at) << pass << " " << at;
      EXPECT_EQ(folder.read(level + "/y"), "between") << pass << " " << at;
    }
    EXPECT_EQ(folder.hiddenEntries(), "") << pass;
  }
}

TEST_F(FolderRun, AFolderReachedThroughALinkTakesItsFilesInKeyOrder) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "making symbolic links needs privileges on Windows";
  // "dN+" is a link to "dN" in the output folder: "dN+/x" and "dN/x" name
  // one file, and the later in key order ("dN/x") must win.
  constexpr unsigned folders = 300;
  for (unsigned at = 0; at < folders; ++at) {
    const std::string level = "d" + std::to_string(at);
    folder.write("first/" + level + "+/x", "through the link " + std::to_string(at), 1000 + at);
    folder.write("second/" + level + "/x", "the real one " + std::to_string(at), 5000 + at);
    folder.makeFolder("out/" + level);
    folder.link("out/" + level + "+", level);
  }
  ASSERT_EQ(run({"-in", "first", "-out", "first.cat"}).exitCode, 0);
  ASSERT_EQ(run({"-in", "second", "-out", "second.cat"}).exitCode, 0);
  const RunResult result = run({"-in", "first.cat", "-in", "second.cat", "-out", "out"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  for (unsigned at = 0; at < folders; ++at) {
    const std::string level = "out/d" + std::to_string(at);
    EXPECT_EQ(folder.read(level + "/x"), "the real one " + std::to_string(at)) << at;
    EXPECT_EQ(folder.modificationTime(level + "/x"), 5000 + at) << at;
  }
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(FolderRun, FailuresAmongManyNewFilesKeepTheirOrder) {
  // Members that cannot be read (the data file ends early) and targets a
  // folder blocks, among many that are written: every message in key order.
  constexpr unsigned files = 600;
  for (unsigned at = 0; at < files; ++at) {
    folder.write("tree/" + numberedName(at), std::string(100 + at % 50, static_cast<char>('a' + at % 26)), 7 + at);
  }
  ASSERT_EQ(run({"-in", "tree", "-out", "pack.cat"}).exitCode, 0);
  const std::string data = folder.read("pack.dat");
  std::uint64_t keptBytes = 0;
  unsigned readable = 0;
  while (readable < files && keptBytes + 100 + readable % 50 <= data.size() * 4 / 5) {
    keptBytes += 100 + readable % 50;
    ++readable;
  }
  folder.write("pack.dat", data.substr(0, keptBytes));
  std::string expected;
  for (unsigned at = 0; at < files; ++at) {
    const std::string name = numberedName(at);
    if (at >= readable) {
      expected += "[Load] Failed to read from file pack.dat\nFailed reading file " + name + " from pack.dat\n";
    } else if (at % 41 == 3) {
      folder.makeFolder("out/" + name);
      expected += "Failed to open file '" + testing::native("out/" + name) +
                  "' for writing\nFailed writing file " + name + " to folder out\n";
    }
  }
  const RunResult result = run({"-in", "pack.cat", "-out", "out"});
  EXPECT_EQ(result.err, console(expected));
  EXPECT_EQ(result.exitCode, 0);
  for (unsigned at = 0; at < readable; ++at) {
    if (at % 41 == 3) continue;
    const std::string name = numberedName(at);
    EXPECT_EQ(folder.read("out/" + name), folder.read("tree/" + name)) << name;
    EXPECT_EQ(folder.modificationTime("out/" + name), 7 + at) << name;
  }
  for (unsigned at = readable; at < files; ++at) EXPECT_FALSE(folder.exists("out/" + numberedName(at)));
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_F(FolderRun, AMissingMemberLeavesAnExistingTargetAsItWas) {
  folder.write("gone.cat", "lost.txt 4 1 " + std::string(32, '0') + "\nempty.txt 0 77 " +
                               std::string(32, '0') + "\n");
  folder.write("out/lost.txt", "keep me");
  const RunResult result = run({"-in", "gone.cat", "-out", "out"});
  EXPECT_EQ(result.err, console("[Load] Failed to open file gone.dat\nFailed reading file lost.txt from gone.dat\n"));
  EXPECT_EQ(folder.read("out/lost.txt"), "keep me");
  EXPECT_EQ(folder.read("out/empty.txt"), "") << "an empty entry needs no source";
  EXPECT_EQ(folder.modificationTime("out/empty.txt"), 77);
}

TEST_F(FolderRun, ReadOnlyTargetsAndFoldersAreNotWritten) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows files have no POSIX permission bits";
  folder.write("tree/ro.txt", "new", 1);
  folder.write("out/ro.txt", "old");
  std::filesystem::permissions(folder.at("out"), std::filesystem::perms::all);
  std::filesystem::permissions(folder.at("out/ro.txt"), std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::others_read);
  const RunResult result = runUnprivileged({"-in", "tree", "-out", "out"});
  EXPECT_EQ(result.err, console("Failed to open file 'out/ro.txt' for writing\n"
                        "Failed writing file ro.txt to folder out\n"));
  EXPECT_EQ(folder.read("out/ro.txt"), "old");

  folder.makeFolder("locked");
  std::filesystem::permissions(folder.at("locked"), std::filesystem::perms::none);
  const RunResult locked = runUnprivileged({"-in", "tree", "-out", "locked"});
  EXPECT_EQ(locked.err, console("Could neither open an existing folder nor create a new one named 'locked'\n"));
  EXPECT_EQ(locked.exitCode, 1);
}

}  // namespace
}  // namespace catpack
