// Catalogs through the command line: packing, conversion both ways,
// merging, appending, and what the writer does with bad input and failures.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::currentIndexLine;
using testing::md5sumOf;
using testing::md5sumOfBytes;
using testing::oldIndexText;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;
using testing::underDataKey;

const std::string zeroDigest(32, '0');

class CatalogRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("tree/b/Second.bin", testing::randomBytes(70000, 2), 200000);
    folder.write("tree/a first.txt", "first file\n", 100000);
    folder.write("tree/Empty.txt", "", 300000);
    folder.write("tree/c.xml", "<c/>", 400000);
  }
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  // The current-format line of a file of the tree.
  std::string lineOf(const std::string& name, std::int64_t time) {
    const std::string bytes = folder.read("tree/" + name);
    const std::string digest = bytes.empty() ? zeroDigest : md5sumOf(folder.at("tree/" + name));
    return name + " " + std::to_string(bytes.size()) + " " + std::to_string(time) + " " + digest + "\n";
  }
  std::string packedIndex() {
    return lineOf("a first.txt", 100000) + lineOf("b/Second.bin", 200000) + lineOf("c.xml", 400000) +
           lineOf("Empty.txt", 300000);
  }
  std::string packedData() {
    return folder.read("tree/a first.txt") + folder.read("tree/b/Second.bin") +
           folder.read("tree/c.xml");
  }
  TempFolder folder;
};

TEST_F(CatalogRun, PacksAFolderInKeyOrder) {
  const RunResult result = run({"-in", "tree", "-out", "x.cat"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\nWriting to Catalog x.cat\n")));
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("x.cat"), packedIndex());
  EXPECT_EQ(folder.read("x.dat"), packedData());

  const RunResult listed = run({"-in", "x.cat", "-dump"});
  EXPECT_EQ(listed.out, console(banner + std::string("Reading from catalog x\n"
                                             "Done - Max filename size: 12, filename: b/Second.bin\n"
                                             "      11   100000 a first.txt a first.txt\n"
                                             "   70000   200000 b/Second.bin b/second.bin\n"
                                             "       4   400000 c.xml c.xml\n"
                                             "       0   300000 Empty.txt empty.txt\n")));
}

TEST_F(CatalogRun, ConvertsToTheOldFormatAndBackByteForByte) {
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  const RunResult toOld = run({"-in", "x.cat", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(toOld.exitCode, 0);
  EXPECT_EQ(toOld.err, "");
  EXPECT_EQ(folder.read("old.cat"),
            oldIndexText("foo.dat\na first.txt 11\nb/Second.bin 70000\nc.xml 4\nEmpty.txt 0\n"));
  EXPECT_EQ(folder.read("old.dat"), underDataKey(packedData()));

  const RunResult back = run({"-in", "old.cat", "-out", "back.cat"});
  EXPECT_EQ(back.exitCode, 0);
  EXPECT_EQ(folder.read("back.dat"), packedData());
  // The old format keeps no times; everything else comes back.
  std::string expected = packedIndex();
  for (const char* time : {" 100000 ", " 200000 ", " 300000 ", " 400000 "}) {
    expected.replace(expected.find(time), std::string(time).size(), " 0 ");
  }
  EXPECT_EQ(folder.read("back.cat"), expected);

  const RunResult oldAgain = run({"-in", "old.cat", "-zarn3cat", "-out", "again.cat"});
  EXPECT_EQ(oldAgain.exitCode, 0);
  EXPECT_EQ(folder.read("again.cat"), folder.read("old.cat"));
  EXPECT_EQ(folder.read("again.dat"), folder.read("old.dat")) << "scrambled members copy as they are";
}

TEST_F(CatalogRun, MergesInputsWithTheLaterWinningWhole) {
  folder.write("patch/C.XML", "<patched/>", 500000);
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  ASSERT_EQ(run({"-in", "patch", "-zarn3cat", "-out", "p.cat"}).exitCode, 0);
  const RunResult merged = run({"-in", "x.cat", "p.cat", "-out", "m.cat"});
  EXPECT_EQ(merged.exitCode, 0);
  const std::string index = folder.read("m.cat");
  EXPECT_NE(index.find("C.XML 10 0 " + md5sumOfBytes("<patched/>") + "\n"), std::string::npos) << index;
  EXPECT_EQ(index.find("c.xml"), std::string::npos);
  EXPECT_EQ(folder.read("m.dat"), folder.read("tree/a first.txt") + folder.read("tree/b/Second.bin") +
                                      "<patched/>");
}

TEST_F(CatalogRun, AnOutputThatIsAlsoAnInputIsReadIntact) {
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  folder.write("more/d.txt", "dee", 600000);
  const RunResult result = run({"-in", "x.cat", "more", "-out", "x.cat"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(folder.read("x.dat"), packedData() + "dee");
  EXPECT_EQ(folder.hiddenEntries(), "") << "no temporary file is left";
}

TEST_F(CatalogRun, AppendsInTheFormatTheCatalogHas) {
  folder.write("more/d.txt", "dee", 600000);
  for (bool old : {false, true}) {
    std::vector<std::string> pack = {"-in", "tree", "-out", "x.cat"};
    if (old) pack.push_back("-zarn3cat");
    ASSERT_EQ(run(pack).exitCode, 0);
    const std::string indexBefore = folder.read("x.cat");
    const std::string dataBefore = folder.read("x.dat");
    // -zarn3cat has no say when appending: the existing index decides.
    const RunResult appended = run({"-in", "more", "-out", "x.cat", "-append", "-zarn3cat"});
    EXPECT_EQ(appended.out, console(banner + std::string("Reading from folder more\nAppending to Catalog x.cat\n")));
    EXPECT_EQ(appended.exitCode, 0);
    const std::string added = old ? oldIndexText("d.txt 3\n", indexBefore.size())
                                  : "d.txt 3 600000 " + md5sumOfBytes("dee") + "\n";
    EXPECT_EQ(folder.read("x.cat"), indexBefore + added) << old;
    EXPECT_EQ(folder.read("x.dat"), dataBefore + (old ? underDataKey("dee") : "dee"));

    const RunResult listed = run({"-in", "x.cat", "-dump"});
    EXPECT_NE(listed.out.find(console("       3 " + std::string(old ? "       0" : "  600000") + " d.txt d.txt\n")),
              std::string::npos)
        << listed.out;
  }
}

TEST_F(CatalogRun, AppendingToAMissingCatalogCreatesACurrentOne) {
  const RunResult result = run({"-in", "tree", "-out", "new.cat", "-append", "-zarn3cat"});
  EXPECT_EQ(result.err, console("[Load] Failed to open file new.cat\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("new.cat"), packedIndex());
}

TEST_F(CatalogRun, RefusesToAppendToAnInconsistentCatalog) {
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  folder.write("x.dat", folder.read("x.dat").substr(1));
  const std::string before = folder.read("x.cat");
  const RunResult result = run({"-in", "tree", "-out", "x.cat", "-append"});
  EXPECT_EQ(result.err, console("Catalog x is inconsistent, not appending\n"));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(folder.read("x.cat"), before);
}

TEST_F(CatalogRun, AFailedWriteLeavesThePreviousCatalog) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows has no per-process file size limit";
  ASSERT_EQ(run({"-in", "tree", "-out", "x.cat"}).exitCode, 0);
  const std::string index = folder.read("x.cat");
  const std::string data = folder.read("x.dat");
  folder.write("big/huge.bin", testing::randomBytes(200000, 3), 700000);
  const std::string files = folder.listing();
  for (const char* mode : {"-dump", "-append"}) {
    const RunResult result =
        runCatpack({"-in", "big", "-out", "x.cat", mode}, folder.path(), {.fileSizeLimit = 100000});
    EXPECT_EQ(result.err, console("Failed writing catalog x\n")) << mode;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(folder.read("x.cat"), index) << mode;
    EXPECT_EQ(folder.read("x.dat"), data) << mode;
    EXPECT_EQ(folder.listing(), files) << "no temporary file is left";
  }
}

TEST_F(CatalogRun, LeavesOutNamesWithLineBreaks) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows names cannot hold a line feed";
  folder.write("tree/bad\nname", "x", 1);
  const RunResult packed = run({"-in", "tree", "-out", "x.cat"});
  EXPECT_EQ(packed.err, console("Illegal file name bad\nname\n"));
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(folder.read("x.cat"), packedIndex());
}

TEST_F(CatalogRun, LeavesOutEmptyNamesInTheOldFormat) {
  folder.write("blank.cat", " 1 5 " + md5sumOfBytes("z") + "\nok 1 6 " + md5sumOfBytes("y") + "\n");
  folder.write("blank.dat", "zy");
  const RunResult old = run({"-in", "blank.cat", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(old.err, console("Illegal file name \n"));
  EXPECT_EQ(old.exitCode, 0);
  EXPECT_EQ(folder.read("old.cat"), oldIndexText("foo.dat\nok 1\n"));
  EXPECT_EQ(folder.read("old.dat"), underDataKey("y"));
}

TEST_F(CatalogRun, OldCatalogsTakeOnlyNamesTheirReaderRecognises) {
  if (!testing::hasPosixFileSystem()) GTEST_SKIP() << "Windows names cannot hold control bytes";
  // A byte the old format's detection rejects would make the whole index
  // read as a current one.
  folder.write("names/caf\xC3\xA9.txt", "utf8", 1);
  folder.write("names/lone\xE9.txt", "latin", 1);
  folder.write("names/tab\there.txt", "tab", 1);
  folder.write("names/ctrl\x01.txt", "ctrl", 1);
  const RunResult result = run({"-in", "names", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(result.err, console("Illegal file name ctrl\x01.txt\nIllegal file name lone\xE9.txt\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("old.cat"), oldIndexText("foo.dat\ncaf\xC3\xA9.txt 4\ntab\there.txt 3\n"));
  const RunResult current = run({"-in", "names", "-out", "new.cat"});
  EXPECT_EQ(current.err, "");
  const std::string index = folder.read("new.cat");
  EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 4);
}

TEST_F(CatalogRun, RecoversOldMembersTimesFromTheirHeaders) {
  const std::string gzip = std::string("\x1F\x8B\x08\x00\x15\xCD\x5B\x07\x00\x03", 10) + "payload";
  const std::string object = std::string("STOR\x00\x00\x03\x21\x00\x00\x30\x39", 12) + "body";
  folder.write("old.cat", oldIndexText("foo.dat\nxy.gz 17\nmodel.obj 16\nplain.txt 3\na.gz 3\n"));
  folder.write("old.dat", underDataKey(gzip + object + "abc" + gzip.substr(0, 3)));
  const RunResult result = run({"-in", "old.cat", "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, console(banner + std::string("Reading from catalog old\n"
                                             "Done - Max filename size: 9, filename: model.obj\n"
                                             "       3        0 a.gz a.gz\n"
                                             "      16    12345 model.obj model.obj\n"
                                             "       3        0 plain.txt plain.txt\n"
                                             "      17 123456789 xy.gz xy.gz\n")));
}

TEST_F(CatalogRun, MembersThatCannotBeLoadedAreLeftOut) {
  // A negative size also moves every later member's offset by almost 4 GiB.
  folder.write("bad.cat", "fine 2 1 " + md5sumOfBytes("ok") + "\nneg -5 1 " + zeroDigest +
                              "\npast 9 1 " + zeroDigest + "\n");
  folder.write("bad.dat", "ok");
  folder.write("nodata.cat", "lost 4 1 " + zeroDigest + "\n");
  const RunResult result = run({"-in", "bad.cat", "nodata.cat", "-dump", "-out", "x.cat"});
  EXPECT_EQ(result.err, console("[Load] Failed to open file nodata.dat\n"
                        "[Load] Failed to allocate -5 bytes for file bad.dat\n"
                        "[Load] Failed to read from file bad.dat\n"));
  EXPECT_NE(result.out.find(console("      -5        1 neg neg\n")), std::string::npos);
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("x.cat"), "fine 2 1 " + md5sumOfBytes("ok") + "\n");
  EXPECT_EQ(folder.read("x.dat"), "ok");
}

TEST_F(CatalogRun, LargeMembersArriveWholeOrNotAtAll) {
  // Large enough to be copied in several steps, and not a multiple of one.
  const std::string large = testing::randomBytes((9u << 20) + 123, 7);
  folder.write("big/large.bin", large, 500000);
  folder.write("big/small.txt", "ok", 600000);
  const RunResult packed = run({"-in", "big", "-out", "b.cat"});
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(folder.read("b.cat"), "large.bin " + std::to_string(large.size()) + " 500000 " +
                                      md5sumOf(folder.at("big/large.bin")) + "\nsmall.txt 2 600000 " +
                                      md5sumOfBytes("ok") + "\n");
  EXPECT_TRUE(folder.read("b.dat") == large + "ok") << "the data file holds other bytes";

  const RunResult copied = run({"-in", "b.cat", "-out", "c.cat"});
  EXPECT_EQ(copied.err, "");
  EXPECT_EQ(folder.read("c.cat"), folder.read("b.cat"));
  EXPECT_TRUE(folder.read("c.dat") == folder.read("b.dat")) << "the copy holds other bytes";
}

// Writes `source` (a current-format catalog) as a new old-format catalog
// and appends it to an old-format catalog holding no member yet, where the
// format test still looks at every line; both must report `loadFailure`
// alone and hold `ok.txt` ("ok", the source's first bytes) as the only member.
void expectOnlyTheLoadFailure(const TempFolder& folder, const std::string& source,
                              const std::string& loadFailure) {
  const RunResult converted = runCatpack({"-in", source, "-zarn3cat", "-out", "new.cat"}, folder.path());
  EXPECT_EQ(converted.err, console(loadFailure)) << source;
  EXPECT_EQ(converted.exitCode, 0);
  EXPECT_EQ(folder.read("new.cat"), oldIndexText("foo.dat\nok.txt 2\n")) << source;
  EXPECT_EQ(folder.read("new.dat"), underDataKey("ok")) << source;

  folder.write("into.cat", oldIndexText("foo.dat\n"));
  folder.write("into.dat", "");
  const RunResult appended = runCatpack({"-in", source, "-out", "into.cat", "-append"}, folder.path());
  EXPECT_EQ(appended.err, console(loadFailure)) << source;
  EXPECT_EQ(appended.exitCode, 0);
  EXPECT_EQ(folder.read("into.cat"), oldIndexText("foo.dat\nok.txt 2\n")) << source;
  EXPECT_EQ(folder.read("into.dat"), underDataKey("ok")) << source;
}

TEST_F(CatalogRun, AMemberOfNegativeSizeIsBlamedOnItsLoadNotItsName) {
  // "minus.bin -7" would not read as an old-format line, but the member
  // cannot be loaded in the first place.
  folder.write("neg.cat", currentIndexLine("ok.txt", "ok", 1) + "minus.bin -7 1 " + zeroDigest + "\n");
  folder.write("neg.dat", "ok");
  expectOnlyTheLoadFailure(folder, "neg.cat", "[Load] Failed to allocate -7 bytes for file neg.dat\n");
}

TEST_F(CatalogRun, AMemberPastTheEndOfItsDataIsBlamedOnItsLoadNotItsName) {
  // After a first line only, a line this long would hide an old index's
  // format from the format test, but the member cannot be loaded anyway.
  const std::string longName(1020, 'a');
  folder.write("past.cat", currentIndexLine("ok.txt", "ok", 1) + longName + " 9 1 " + zeroDigest + "\n");
  folder.write("past.dat", "ok");
  expectOnlyTheLoadFailure(folder, "past.cat", "[Load] Failed to read from file past.dat\n");
}

TEST_F(CatalogRun, ANameTheOldFormatRefusesIsReportedOnlyOnceItsMemberLoaded) {
  // In key order: an empty name whose offset the negative size before it
  // moves past the data, a control byte whose bytes load, a control byte
  // past the end of the data, a lone high byte with a negative size.
  folder.write("both.cat", currentIndexLine("ok.txt", "ok", 1) + currentIndexLine("bell\x07.txt", "abc", 1) +
                               "ctrl\x01.bin 9 1 " + zeroDigest + "\nlone\xE9.bin -7 1 " + zeroDigest +
                               "\n 5 1 " + zeroDigest + "\n");
  folder.write("both.dat", "okabc");
  const RunResult result = run({"-in", "both.cat", "-zarn3cat", "-out", "old.cat"});
  EXPECT_EQ(result.err, console("[Load] Failed to read from file both.dat\n"
                                "Illegal file name bell\x07.txt\n"
                                "[Load] Failed to read from file both.dat\n"
                                "[Load] Failed to allocate -7 bytes for file both.dat\n"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("old.cat"), oldIndexText("foo.dat\nok.txt 2\n"));
  EXPECT_EQ(folder.read("old.dat"), underDataKey("ok"));
}

TEST_F(CatalogRun, ANameWithALineBreakIsReportedOnlyOnceItsFileLoaded) {
  if (!testing::hasPosixFileSystem() || !testing::canRunUnprivileged()) {
    GTEST_SKIP() << "needs names holding a line feed and root to run as another user";
  }
  folder.write("lb/ok.txt", "ok", 1);
  folder.write("lb/bad\nname", "x", 1);
  std::filesystem::permissions(folder.at("lb/bad\nname"), std::filesystem::perms::none);
  folder.makeFolder("out");
  std::filesystem::permissions(folder.at("out"), std::filesystem::perms::all);
  for (bool old : {false, true}) {
    std::vector<std::string> pack = {"-in", "lb", "-out", "out/x.cat"};
    if (old) pack.push_back("-zarn3cat");
    const RunResult result = runCatpack(pack, folder.path(), {.unprivileged = true});
    EXPECT_EQ(result.err, "[Load] Failed to open file lb/bad\nname\n") << old;
    EXPECT_EQ(result.exitCode, 0) << old;
    EXPECT_EQ(testing::listedNames(folder.path(), "out/x.cat"), std::vector<std::string>{"ok.txt"}) << old;
  }
}

TEST_F(CatalogRun, AMemberBeyondFourGibibytesIsListedHashedAndExtracted) {
  // Three members of 2 GiB - 1 bytes put the last one past 6 GiB into a
  // sparse data file; an old-format index carries no digest, so the
  // member is loaded and hashed.
  folder.write("big.cat", oldIndexText("foo.dat\nh1 2147483647\nh2 2147483647\nh3 2147483647\n"
                                       "last.txt 4\n"));
  folder.write("big.dat", "");
  const std::uint64_t lastOffset = 3 * std::uint64_t{0x7FFFFFFF};
  folder.resize("big.dat", lastOffset);
  {
    std::ofstream data(folder.at("big.dat"), std::ios::binary | std::ios::app);
    data << underDataKey("tail");
  }
  ASSERT_EQ(testing::fileSizeOf(folder.at("big.dat")), lastOffset + 4);

  const RunResult listed = run({"-in", "big.cat", "-include", "^last", "-dump"});
  EXPECT_EQ(listed.err, "");
  EXPECT_NE(listed.out.find(console("       4        0 last.txt last.txt\n")), std::string::npos)
      << listed.out;

  const RunResult packed = run({"-in", "big.cat", "-include", "^last", "-out", "last.cat"});
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(folder.read("last.cat"), "last.txt 4 0 " + md5sumOfBytes("tail") + "\n");
  EXPECT_EQ(folder.read("last.dat"), "tail");

  folder.makeFolder("out");
  const RunResult extracted = run({"-in", "big.cat", "-include", "^last", "-out", "out"});
  EXPECT_EQ(extracted.err, "");
  EXPECT_EQ(folder.read("out/last.txt"), "tail");
}

TEST_F(CatalogRun, SurvivesGarbledIndexFiles) {
  const std::string samples[] = {
      testing::randomBytes(5000, 7),
      std::string(100000, ' '),
      std::string(3000, '\n') + "x 1",
      "name 99999999999999999999 -99999999999999 " + zeroDigest + "\n",
      std::string("\0\0\0 1\n\0 2 3 ", 13) + zeroDigest,
      "",
  };
  int round = 0;
  for (const std::string& sample : samples) {
    folder.write("g.cat", sample);
    folder.write("g.dat", "short");
    const RunResult result = run({"-in", "g.cat", "-dump", "-out", "out" + std::to_string(++round) + ".cat"});
    EXPECT_EQ(result.exitCode, 0) << round;
    EXPECT_NE(result.out.find("Done - Max filename size: "), std::string::npos) << round;
  }
  const RunResult empty = run({"-in", "g.cat", "-dump"});
  EXPECT_EQ(empty.out, console(banner + std::string("Reading from catalog g\nDone - Max filename size: 0, filename: \n")));
}

}  // namespace
}  // namespace catpack
