// A flush that fails is a failed write. strace makes the run's fsync or
// fdatasync calls fail with EIO, the first of them in each thread, then the
// second, and so on, as long as the failure comes before the run's first
// rename (later flushes follow a catalog or file already put in place, which
// no failure can take back). A catalog stays as it was, an append is cut
// back, a replaced file of a folder output stays, and no temporary file is
// left. At least one flush must have been made to fail.
#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crash/tracer.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using crash::TracedRun;
using testing::TempFolder;

// Whether the run had a call made to fail before any rename succeeded.
bool failedBeforeRenames(const TracedRun& run) {
  for (const crash::SystemCall& call : run.calls) {
    if (call.injected) return true;
    if (call.name.starts_with("rename") && call.result == 0) return false;
  }
  return false;
}

class FlushFault : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.write("src/a.txt", "the new a\n", 100000);
    folder.write("src/sub/b.bin", testing::randomBytes(3000, 31), 200000);
    folder.write("previous/p.txt", "what the catalog held before\n", 300000);
    ASSERT_EQ(testing::runCatpack({"-in", "previous", "-out", "c.cat"}, folder.path()).exitCode, 0);
    previousIndex = folder.read("c.cat");
    previousData = folder.read("c.dat");
  }

  // Runs catpack with `arguments` for every failing flush, after `reset`
  // has laid out the folder, and has `check` judge each run. Gives how many
  // runs had a flush fail, and says so under `label`.
  int forEveryFailingFlush(const std::string& label, const std::vector<std::string>& arguments,
                           const std::function<void()>& reset,
                           const std::function<void(const TracedRun&)>& check) const {
    int failed = 0;
    for (const std::string call : {"fsync", "fdatasync"}) {
      for (int count = 1;; ++count) {
        reset();
        const std::string listingBefore = folder.listing();
        const TracedRun run =
            crash::traceCatpack({"-e", "trace=fsync,fdatasync,?rename,renameat,renameat2", "-e",
                                 "inject=" + call + ":error=EIO:when=" + std::to_string(count)},
                                arguments, folder.path());
        if (!failedBeforeRenames(run)) break;
        ++failed;
        SCOPED_TRACE(call + " number " + std::to_string(count) + " of a thread fails");
        check(run);
        EXPECT_EQ(folder.listing(), listingBefore) << "no temporary file stays";
      }
    }
    std::cout << "[  flush   ] " << label << ": " << failed << " runs with a failing flush checked"
              << std::endl;
    return failed;
  }

  void restoreCatalog() const {
    folder.write("c.cat", previousIndex);
    folder.write("c.dat", previousData);
  }

  // A catalog write that failed: reported, and the previous catalog intact.
  // The data file is compared without printing it, as it may be large.
  void expectPreviousCatalog(const TracedRun& run) const {
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Failed writing catalog c\n");
    EXPECT_EQ(folder.read("c.cat"), previousIndex);
    EXPECT_TRUE(folder.read("c.dat") == previousData) << "the previous data file stays";
  }

  TempFolder folder;
  std::string previousIndex;
  std::string previousData;
};

TEST_F(FlushFault, ANewCatalogLeavesThePreviousOne) {
  const int failed = forEveryFailingFlush(
      "new catalog", {"-in", "src", "-out", "c.cat"}, [&] { restoreCatalog(); },
      [&](const TracedRun& run) { expectPreviousCatalog(run); });
  EXPECT_GT(failed, 0) << "the run made no fsync or fdatasync before putting the catalog in place";
}

TEST_F(FlushFault, AnAppendIsCutBack) {
  const int failed = forEveryFailingFlush(
      "append", {"-in", "src", "-out", "c.cat", "-append"}, [&] { restoreCatalog(); },
      [&](const TracedRun& run) { expectPreviousCatalog(run); });
  EXPECT_GT(failed, 0) << "the append made no fsync or fdatasync";
}

TEST_F(FlushFault, AReplacedFileOfAFolderOutputStays) {
  folder.write("one/a.txt", "the new a\n", 100000);
  const int failed = forEveryFailingFlush(
      "folder output", {"-in", "one", "-out", "out"}, [&] { folder.write("out/a.txt", "the old a\n"); },
      [&](const TracedRun& run) {
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "Failed writing file a.txt to folder out\n");
        EXPECT_EQ(folder.read("out/a.txt"), "the old a\n");
      });
  EXPECT_GT(failed, 0) << "the run made no fsync or fdatasync before putting the file in place";
}

// A catalog's data file is flushed while it is still being written, once it
// holds enough bytes. Such a flush that fails fails the catalog, although
// the flush at the end succeeds: the system need not tell of a failure
// twice.
TEST_F(FlushFault, AFailedFlushAheadOfTheEndFailsTheCatalog) {
  const std::string large = testing::randomBytes((std::size_t{64} << 20) + 5000, 41);
  folder.write("large/huge.bin", large, 400000);
  const auto aheadFlushes = [](const TracedRun& run) {
    return std::count_if(run.calls.begin(), run.calls.end(),
                         [](const crash::SystemCall& call) { return call.name == "fdatasync"; });
  };
  for (const bool append : {false, true}) {
    SCOPED_TRACE(append ? "append" : "new catalog");
    std::vector<std::string> arguments{"-in", "large", "-out", "c.cat"};
    if (append) arguments.push_back("-append");

    restoreCatalog();
    const std::string listingBefore = folder.listing();
    const TracedRun failing = crash::traceCatpack(
        {"-e", "trace=fsync,fdatasync", "-e", "inject=fdatasync:error=EIO:when=1"}, arguments,
        folder.path());
    ASSERT_EQ(aheadFlushes(failing), 1);
    EXPECT_TRUE(failedBeforeRenames(failing));
    expectPreviousCatalog(failing);
    EXPECT_EQ(folder.listing(), listingBefore) << "no temporary file stays";

    const TracedRun sound = crash::traceCatpack({"-e", "trace=fsync,fdatasync"}, arguments, folder.path());
    EXPECT_EQ(sound.exitCode, 0) << sound.err;
    EXPECT_EQ(aheadFlushes(sound), 1);
    EXPECT_TRUE(folder.read("c.dat") == (append ? previousData + large : large));
  }
}

}  // namespace
}  // namespace catpack
