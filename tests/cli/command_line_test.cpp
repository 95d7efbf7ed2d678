// Runs of the built binary: the banner, the usage text, every command-line
// error with its exit code, and how paths are classified.
#include <string>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::console;
using testing::runCatpack;
using testing::TempFolder;

// The program's name as the usage line and the hints show it.
const std::string program = testing::programFileName();

const std::string usage =
    "Usage: " + program + " -in <paths> -out <path> [-diff <paths>] [-include <patterns>] [-exclude "
    "<patterns>] [Flags]\n"
    "<path>               A folder name or catalog name (e.g. c:\\quellor, c:\\quellor\\01.cat). "
    "Catalog names must end with '.cat'.\n"
    "<paths>              A list of path names\n"
    "-in <paths>          Input paths. Files from later paths overwrite files from earlier "
    "paths.\n"
    "-out <path>          One output path.\n"
    "-diff <paths>        Base input for which a diff will be created (only new/changed files "
    "and deletions remain).\n"
    "-include <patterns>  Include all files matching the following regular expression(s).\n"
    "-exclude <patterns>  Exclude all files matching the following regular expression(s) from "
    "the already included files.\n"
    "                     Even for files that are not included, this can speed up the scanning, "
    "e.g.: -exclude \"^assets/\"\n"
    "Flags:\n"
    "-append              If output path is an existing catalog, append output to it instead of "
    "overwriting it.\n"
    "-zarn3cat               Write output catalog in old Zarn/Zarn2/Zarn3 catalog format (note: "
    "format is auto-detected on -append).\n"
    "-dump                Dump the list of resulting file names.\n"
    "-checksum            With -diff, compare the contents of files of equal size even when "
    "their times agree.\n";

const std::string hint = ",\nsee " + program + " -? or -help for help.\n";
const std::string mustSpecify = "Must specify output path and at least one input path" + hint;

class CommandLine : public ::testing::Test {
 protected:
  testing::RunResult run(const std::vector<std::string>& arguments) {
    return runCatpack(arguments, folder.path());
  }
  TempFolder folder;
};

TEST_F(CommandLine, PrintsTheUsageTextForHelp) {
  for (const char* help : {"-?", "-help", "/?", "-HELP", "/Help"}) {
    const auto result = run({help, "-in", "x"});
    EXPECT_EQ(result.out, console(banner + usage)) << help;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitCode, 1);
  }
  const auto invalidFirst = run({"-bad", "-?"});
  EXPECT_EQ(invalidFirst.err, console("Invalid switch -bad" + hint));
  EXPECT_EQ(invalidFirst.out, console(banner));
}

TEST_F(CommandLine, RejectsUnknownSwitchesAsTyped) {
  for (const char* argument : {"--in", "-", "-x", "-nosuch"}) {
    const auto result = run({"-in", "a", argument});
    EXPECT_EQ(result.err, console("Invalid switch " + std::string(argument) + hint));
    EXPECT_EQ(result.exitCode, 1);
  }
}

TEST_F(CommandLine, NeedsASwitchBeforeEveryList) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"x", "-in", "y"}, {"-in", "x", "-dump", "y"},
        {"-in", "x", "-append", "y"}, {"-in", "x", "-zarn3cat", "y"},
        {"-in", "x", "-checksum", "y"}, {"?"}, {"help"}, {""}}) {
    const auto result = run(arguments);
    EXPECT_EQ(result.err, console("Need to specify a switch before non-switch args" + hint));
    EXPECT_EQ(result.exitCode, 1);
  }
}

TEST_F(CommandLine, AllowsOneOutPathOnly) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"-in", "a", "-out", "x", "y"}, {"-out", "x", "-out", "y", "-in", "a"}}) {
    const auto result = run(arguments);
    EXPECT_EQ(result.err, console("Only one out path allowed with -out" + hint));
    EXPECT_EQ(result.exitCode, 1);
  }
}

TEST_F(CommandLine, NeedsAnInputAndAnOutputOrAListing) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, {"-out", "x.cat"}, {"-in", "x"}, {"-in", "x", "-out"},
        {"-in", "-out", "x.cat"}}) {
    const auto result = run(arguments);
    EXPECT_EQ(result.out, console(banner));
    EXPECT_EQ(result.err, console(mustSpecify));
    EXPECT_EQ(result.exitCode, 1);
  }
}

TEST_F(CommandLine, ClassifiesInputPathsInOrder) {
  folder.write("plain.txt", "x");
  folder.makeFolder("tree");
  const auto plain = run({"-in", "tree", "plain.txt", "missing.cat", "-dump"});
  EXPECT_EQ(plain.out, console(banner + std::string("Reading from folder tree\n")));
  EXPECT_EQ(plain.err, console("Input plain.txt is neither a catalog nor a folder, aborting\n"));
  EXPECT_EQ(plain.exitCode, 2);

  const auto missingCatalog = run({"-in", "missing.CAT", "-dump"});
  EXPECT_EQ(missingCatalog.out, console(banner + std::string("Reading from catalog missing\n")));
  EXPECT_EQ(missingCatalog.err, console("[Load] Failed to open file missing.cat\n"));
  EXPECT_EQ(missingCatalog.exitCode, 0);

  const auto diff = run({"-in", "tree", "-diff", "nothing", "-dump"});
  EXPECT_EQ(diff.err, console("Diff input nothing is neither a catalog nor a folder, aborting\n"));
  EXPECT_EQ(diff.exitCode, 2);
}

TEST_F(CommandLine, AFolderNamedLikeACatalogIsACatalog) {
  folder.makeFolder("looks.cat");
  const auto result = run({"-in", "looks.cat", "-dump"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from catalog looks\n")));
  EXPECT_EQ(result.err, console("[Load] Failed to open file looks.cat\n"));
  EXPECT_EQ(result.exitCode, 0);
}

TEST_F(CommandLine, ClassifiesTheOutputPathAfterAllOtherWork) {
  folder.write("tree/a.txt", "abc", 7);
  const auto result = run({"-in", "tree", "-dump", "-out", "nowhere"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\n"
                                             "       3        7 a.txt a.txt\n")));
  EXPECT_EQ(result.err, console("Output nowhere is neither a catalog nor a folder, aborting\n"));
  EXPECT_EQ(result.exitCode, 2);
}

TEST_F(CommandLine, SwitchNamesIgnoreCase) {
  folder.write("tree/a.txt", "abc", 7);
  const auto result = run({"-IN", "tree", "/Out", "y.CAT"});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from folder tree\nWriting to Catalog y.CAT\n")));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(folder.read("y.cat"), "a.txt 3 7 900150983cd24fb0d6963f7d28e17f72\n");
  EXPECT_EQ(folder.read("y.dat"), "abc");
}

TEST_F(CommandLine, KeepsBothStreamsInTheOrderOfEvents) {
  folder.write("tree/a.txt", "abc", 7);
  const auto result = runCatpack({"-in", "missing.cat", "tree", "gone.cat", "-dump"}, folder.path(),
                                 {.oneStream = true});
  EXPECT_EQ(result.out, console(banner + std::string("Reading from catalog missing\n"
                                             "[Load] Failed to open file missing.cat\n"
                                             "Reading from folder tree\n"
                                             "Reading from catalog gone\n"
                                             "[Load] Failed to open file gone.cat\n"
                                             "       3        7 a.txt a.txt\n")));
}

}  // namespace
}  // namespace catpack
