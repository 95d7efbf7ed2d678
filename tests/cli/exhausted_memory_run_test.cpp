// Runs that run out of memory, as an index of many millions of members does
// in a 32-bit address space: whatever the limit, a run either completes or
// ends with its message and exit code 1, leaving no output it had begun.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::RunOptions;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

// Sanitizer runtimes reserve far more address space than any limit here,
// and an emulator maps its own; neither run can be limited this way.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool addressSpaceCannotBeLimited = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool addressSpaceCannotBeLimited = true;
#else
constexpr bool addressSpaceCannotBeLimited = false;
#endif
#else
constexpr bool addressSpaceCannotBeLimited = false;
#endif

constexpr int memberCount = 200000;
const std::string outOfMemory = "Out of memory, aborting\n";

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class ExhaustedMemoryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    if (addressSpaceCannotBeLimited || testing::runsThroughEmulator()) GTEST_SKIP() << "address space of a sanitizer or emulated build";
    std::string lines;
    std::string bytes;
    for (int member = 0; member < memberCount; ++member) {
      const std::string name = "dir" + std::to_string(member % 200) + "/file" + std::to_string(member);
      const std::string content(1, static_cast<char>('a' + member % 26));
      // The digest is stated as unknown: the writers work it out.
      lines += name + " 1 " + std::to_string(1700000000 + member) + " " + std::string(32, '0') + "\n";
      bytes += content;
    }
    folder.write("big.cat", lines);
    folder.write("big.dat", bytes);
    folder.write("base.cat", testing::currentIndexLine("kept", "kept", 5));
    folder.write("base.dat", "kept");
  }

  // Runs `arguments` with `limitMiB` MiB of address space.
  RunResult runWithin(int limitMiB, const std::vector<std::string>& arguments) {
    RunOptions options;
    options.addressSpaceLimit = static_cast<std::int64_t>(limitMiB) << 20;
    return runCatpack(arguments, folder.path(), options);
  }

  TempFolder folder;
};

TEST_F(ExhaustedMemoryRun, AWriteEitherCompletesOrLeavesNothingBehind) {
  const std::string before = folder.listing();
  int exhausted = 0;
  int completed = 0;
  for (int limitMiB = 16; limitMiB <= 160; limitMiB += 8) {
    const RunResult result = runWithin(limitMiB, {"-in", "big.cat", "-out", "o.cat"});
    SCOPED_TRACE("limit " + std::to_string(limitMiB) + " MiB, stderr " + result.err);
    if (result.exitCode == 0) {
      ++completed;
      EXPECT_EQ(result.err.find(outOfMemory), std::string::npos);
      EXPECT_TRUE(folder.exists("o.cat"));
      EXPECT_TRUE(folder.exists("o.dat"));
    } else {
      ++exhausted;
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_TRUE(endsWith(result.err, outOfMemory));
      EXPECT_EQ(folder.listing(), before);
    }
    std::filesystem::remove(folder.at("o.cat"));
    std::filesystem::remove(folder.at("o.dat"));
  }
  EXPECT_GT(exhausted, 0);
  EXPECT_GT(completed, 0);
}

TEST_F(ExhaustedMemoryRun, AnAppendEitherCompletesOrLeavesTheCatalogAsItWas) {
  const std::string index = folder.read("base.cat");
  const std::string data = folder.read("base.dat");
  int exhausted = 0;
  int appended = 0;
  for (int limitMiB = 16; limitMiB <= 160; limitMiB += 8) {
    const RunResult result = runWithin(limitMiB, {"-in", "big.cat", "-out", "base.cat", "-append"});
    SCOPED_TRACE("limit " + std::to_string(limitMiB) + " MiB, stderr " + result.err);
    if (result.exitCode == 0) {
      EXPECT_EQ(result.err.find(outOfMemory), std::string::npos);
      if (folder.read("base.cat") != index) ++appended;
      folder.write("base.cat", index);
      folder.write("base.dat", data);
      continue;
    }
    ++exhausted;
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(endsWith(result.err, outOfMemory));
    EXPECT_EQ(folder.read("base.cat"), index);
    EXPECT_EQ(folder.read("base.dat"), data);
  }
  EXPECT_GT(exhausted, 0);
  EXPECT_GT(appended, 0);
}

}  // namespace
}  // namespace catpack
