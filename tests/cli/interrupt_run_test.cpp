// Runs interrupted while they write: every temporary file goes, an append
// is cut back to its previous bytes, and the run ends as the signal ends it.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::CatpackProcess;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

class InterruptRun : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    folder.write("tree/small.txt", "small", 100000);
    ASSERT_EQ(runCatpack({"-in", "tree", "-out", "x.cat"}, folder.path()).exitCode, 0);
    // Large files without blocks on disk: reading and hashing them takes a
    // while, long enough to be interrupted in the middle.
    for (const char* name : {"big/one.bin", "big/two.bin", "big/three.bin"}) {
      folder.write(name, "");
      ASSERT_EQ(::truncate(folder.at(name).c_str(), 1536L << 20), 0);
    }
    folder.makeFolder("out");
    index = folder.read("x.cat");
    data = folder.read("x.dat");
  }

  // Starts a run, waits until `started` says it is writing, interrupts it.
  template <typename Started>
  RunResult interruptWhen(const std::vector<std::string>& arguments, Started started) {
    CatpackProcess process(arguments, folder.path());
    while (!started() && !process.hasEnded()) std::this_thread::yield();
    process.signal(GetParam());
    return process.finish();
  }

  std::uint64_t sizeOf(const std::string& relative) const {
    struct stat info {};
    return ::stat(folder.at(relative).c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size)
                                                           : 0;
  }

  TempFolder folder;
  std::string index;
  std::string data;
};

TEST_P(InterruptRun, ANewCatalogLeavesThePreviousOneAndNoTemporaryFile) {
  const RunResult result = interruptWhen({"-in", "big", "-out", "x.cat"},
                                         [&] { return folder.hiddenEntries() != ""; });
  EXPECT_EQ(result.exitCode, 128 + GetParam()) << "the run ends by its signal";
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(folder.read("x.cat"), index);
  EXPECT_EQ(folder.read("x.dat"), data);
  EXPECT_EQ(folder.hiddenEntries(), "");
}

TEST_P(InterruptRun, AnAppendIsCutBack) {
  const RunResult result = interruptWhen({"-in", "big", "-out", "x.cat", "-append"},
                                         [&] { return sizeOf("x.dat") > data.size(); });
  EXPECT_EQ(result.exitCode, 128 + GetParam());
  EXPECT_EQ(folder.read("x.cat"), index);
  EXPECT_EQ(sizeOf("x.dat"), data.size());
  EXPECT_EQ(folder.read("x.dat"), data);
  // The catalog is whole: the next append finds it consistent.
  folder.write("more/e.txt", "echo", 400000);
  EXPECT_EQ(runCatpack({"-in", "more", "-out", "x.cat", "-append"}, folder.path()).exitCode, 0);
}

// A file that did not exist is written under its own name: interrupted, it
// is removed again rather than left part written.
TEST_P(InterruptRun, AFolderOutputRemovesTheNewFileItWasWriting) {
  const RunResult result = interruptWhen({"-in", "big", "-out", "out"},
                                         [&] { return sizeOf("out/one.bin") > 0; });
  EXPECT_EQ(result.exitCode, 128 + GetParam());
  EXPECT_FALSE(folder.exists("out/one.bin"));
  EXPECT_FALSE(folder.exists("out/three.bin")) << "files after it are not begun";
  EXPECT_EQ(folder.hiddenEntries(), "");
}

// A file that exists is replaced through a temporary file: interrupted, the
// previous file stays and the temporary one goes.
TEST_P(InterruptRun, AFolderOutputLeavesAnExistingFileAndNoTemporaryFile) {
  folder.write("out/one.bin", "previous");
  const RunResult result = interruptWhen({"-in", "big", "-out", "out"},
                                         [&] { return folder.hiddenEntries() != ""; });
  EXPECT_EQ(result.exitCode, 128 + GetParam());
  EXPECT_EQ(folder.read("out/one.bin"), "previous");
  EXPECT_EQ(folder.hiddenEntries(), "");
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptRun, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& signal) {
                           return std::string(sigabbrev_np(signal.param));
                         });

}  // namespace
}  // namespace catpack
