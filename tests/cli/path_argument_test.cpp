// Runs of the built binary on arguments that begin with "/": switches in
// their slash spelling, and absolute paths where the system's begin with "/".
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/platform_facts.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

const std::string program = testing::programFileName();
const std::string hint = ",\nsee " + program + " -? or -help for help.\n";

class PathArgument : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  TempFolder folder;
};

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST_F(PathArgument, EverySwitchNameAfterASlashIsThatSwitch) {
  folder.write("tree/a.txt", "abc", 7);
  for (const char* name : {"in", "OUT", "Diff", "include", "EXCLUDE", "dump", "Append", "zarn3cat",
                           "checksum", "?", "Help"}) {
    const std::string slashed = std::string("/") + name;
    const std::string dashed = std::string("-") + name;
    // After -dump a path or a pattern would be an error of its own.
    const RunResult bySlash = run({"-in", "tree", "-dump", slashed});
    const RunResult byDash = run({"-in", "tree", "-dump", dashed});
    EXPECT_EQ(bySlash.out, byDash.out) << slashed;
    EXPECT_EQ(bySlash.err, replaced(byDash.err, dashed, slashed)) << slashed;
    EXPECT_EQ(bySlash.exitCode, byDash.exitCode) << slashed;
    EXPECT_EQ(bySlash.err.find("Need to specify a switch"), std::string::npos) << slashed;
  }
}

TEST_F(PathArgument, OtherSlashArgumentsArePathsWhereAbsolutePathsBeginWithASlash) {
  folder.makeFolder("tree");
  // None of these names an existing path; "/" alone, the root, is only
  // given where it is not read.
  for (const char* argument : {"/nosuch", "/tmp/catpack-nosuch", "//in", "/in/", "/-in", "/in.cat.x"}) {
    const RunResult input = run({"-in", "tree", argument, "-dump"});
    if (testing::slashAlwaysBeginsASwitch()) {
      EXPECT_EQ(input.err, console("Invalid switch " + std::string(argument) + hint)) << argument;
      EXPECT_EQ(input.exitCode, 1) << argument;
    } else {
      EXPECT_EQ(input.out, banner + std::string("Reading from folder tree\n")) << argument;
      EXPECT_EQ(input.err, "Input " + std::string(argument) + " is neither a catalog nor a folder, aborting\n")
          << argument;
      EXPECT_EQ(input.exitCode, 2) << argument;
    }
  }
  for (const char* argument : {"/nosuch", "/", "//in", "/in/"}) {
    const RunResult first = run({argument, "-in", "x"});
    if (testing::slashAlwaysBeginsASwitch()) {
      EXPECT_EQ(first.err, console("Invalid switch " + std::string(argument) + hint)) << argument;
    } else {
      EXPECT_EQ(first.err, "Need to specify a switch before non-switch args" + hint) << argument;
    }
    EXPECT_EQ(first.exitCode, 1) << argument;
  }
}

TEST_F(PathArgument, AMissingAbsoluteDiffPathOrOutputIsReportedAsOne) {
  folder.write("tree/a.txt", "abc", 7);
  const RunResult diff = run({"-in", "tree", "-diff", "/nosuch", "-dump"});
  const RunResult output = run({"-in", "tree", "-out", "/nosuch"});
  if (testing::slashAlwaysBeginsASwitch()) {
    EXPECT_EQ(diff.err, console("Invalid switch /nosuch" + hint));
    EXPECT_EQ(diff.exitCode, 1);
    EXPECT_EQ(output.err, console("Invalid switch /nosuch" + hint));
    EXPECT_EQ(output.exitCode, 1);
  } else {
    EXPECT_EQ(diff.err, "Diff input /nosuch is neither a catalog nor a folder, aborting\n");
    EXPECT_EQ(diff.exitCode, 2);
    EXPECT_EQ(output.out, banner + std::string("Reading from folder tree\n"));
    EXPECT_EQ(output.err, "Output /nosuch is neither a catalog nor a folder, aborting\n");
    EXPECT_EQ(output.exitCode, 2);
  }
}

TEST_F(PathArgument, APatternMayBeginWithASlashWhereAbsolutePathsDo) {
  folder.write("tree/x/a.txt", "a", 1);
  folder.write("tree/b.txt", "b", 2);
  const RunResult result = run({"-in", "tree", "-exclude", "/a", "-dump"});
  if (testing::slashAlwaysBeginsASwitch()) {
    EXPECT_EQ(result.err, console("Invalid switch /a" + hint));
    EXPECT_EQ(result.exitCode, 1);
  } else {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Filtering with Exclude /a\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find(" x/a.txt x/a.txt\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(" b.txt b.txt\n"), std::string::npos) << result.out;
  }
}

// The folder's full paths are absolute ones: with a drive letter on
// Windows, with a leading "/" elsewhere.
TEST_F(PathArgument, AbsolutePathsAreInputsDiffsAndOutputs) {
  folder.write("new/same.txt", "same", 100);
  folder.write("new/added.txt", "added", 200);
  folder.write("old/same.txt", "same", 100);
  folder.write("old/gone.txt", "gone", 300);
  const std::string newTree = folder.at("new");
  const std::string newCatalog = folder.at("new.cat");
  const RunResult packed = run({"-in", newTree, "-out", newCatalog});
  EXPECT_EQ(packed.err, "");
  EXPECT_EQ(packed.exitCode, 0);
  EXPECT_EQ(packed.out, console(banner + ("Reading from folder " + newTree + "\nWriting to Catalog " +
                                          newCatalog + "\n")));
  EXPECT_EQ(folder.read("new.cat"), "added.txt 5 200 " + testing::md5sumOfBytes("added") +
                                        "\nsame.txt 4 100 " + testing::md5sumOfBytes("same") + "\n");
  ASSERT_EQ(run({"-in", folder.at("old"), "-out", folder.at("old.cat")}).exitCode, 0);

  // A catalog input, a catalog as the diff's base, a folder as the output.
  folder.makeFolder("out");
  const RunResult diffed = run({"-in", newCatalog, "-diff", folder.at("old.cat"), "-out", folder.at("out")});
  EXPECT_EQ(diffed.err, "");
  EXPECT_EQ(diffed.exitCode, 0);
  EXPECT_NE(diffed.out.find(console("Reading from catalog " + folder.at("new") + "\n")), std::string::npos);
  EXPECT_NE(diffed.out.find(console("Reading from catalog " + folder.at("old") + "\n")), std::string::npos);
  EXPECT_NE(diffed.out.find(console("Writing to Folder " + folder.at("out") + "\n")), std::string::npos);
  EXPECT_EQ(folder.listing(), "new.cat\nnew.dat\nnew/\nnew/added.txt\nnew/same.txt\nold.cat\nold.dat\n"
                              "old/\nold/gone.txt\nold/same.txt\nout/\nout/added.txt\n");
  EXPECT_EQ(folder.read("out/added.txt"), "added");
  EXPECT_EQ(folder.modificationTime("out/added.txt"), 200);

  // A folder as the diff's base, a catalog as the output.
  const RunResult patch = run({"-in", newTree, "-diff", folder.at("old"), "-out", folder.at("patch.cat")});
  EXPECT_EQ(patch.err, "");
  EXPECT_EQ(patch.exitCode, 0);
  EXPECT_EQ(patch.out, console(banner + ("Reading from folder " + newTree + "\nReading from folder " +
                                         folder.at("old") + "\nWriting to Catalog " + folder.at("patch.cat") + "\n")));
  EXPECT_EQ(folder.read("patch.cat"), "added.txt 5 200 " + testing::md5sumOfBytes("added") +
                                          "\ngone.txt 0 0 " + std::string(32, '0') + "\n");
  EXPECT_EQ(folder.read("patch.dat"), "added");
}

TEST_F(PathArgument, ADoubledLeadingSlashIsAPath) {
  if (testing::slashAlwaysBeginsASwitch()) GTEST_SKIP() << "absolute paths begin with a drive letter";
  folder.write("tree/a.txt", "abc", 7);
  const std::string doubled = "/" + folder.at("tree");
  const RunResult result = run({"-in", doubled, "-dump"});
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.out, banner + ("Reading from folder " + doubled + "\n       3        7 a.txt a.txt\n"));
}

}  // namespace
}  // namespace catpack
