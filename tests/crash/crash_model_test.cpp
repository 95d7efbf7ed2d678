// The harness on logs written by hand: calls count where they complete, and
// the crash model finds exactly the states a replacement can leave, with and
// without its flushes.
#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "crash/crash_model.h"
#include "crash/file_events.h"
#include "crash/tracer.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using crash::FileHistory;
using testing::TempFolder;

// `text` as strace -xx writes it.
std::string escaped(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char byte : text) {
    const auto value = static_cast<unsigned char>(byte);
    hex += std::string("\\x") + digits[value >> 4] + digits[value & 15];
  }
  return hex;
}

TEST(CrashHarness, CallsCountWhereTheyComplete) {
  const std::string folder = "<" + escaped("/t") + ">";
  const std::string a = "<" + escaped("/t/a") + ">";
  const std::string b = "<" + escaped("/t/b") + ">";
  std::string log = "7  openat(AT_FDCWD" + folder + ", \"" + escaped("a") + "\", O_RDONLY <unfinished ...>\n";
  log += "8  write(3" + b + ", \"" + escaped("hi") + "\", 2) = 2\n";
  log += "7  <... openat resumed>) = 4" + a + "\n";
  log += "8  fsync(3" + b + ") = -1 EIO (Input/output error) (INJECTED)\n";
  log += "7  close(4" + a + ") = ?\n";
  const std::vector<crash::SystemCall> calls = crash::parseStraceLog(log);
  ASSERT_EQ(calls.size(), 3u) << "a call that never completed is left out";
  EXPECT_EQ(calls[0].name, "write");
  EXPECT_EQ(crash::bytesOf(calls[0].arguments[1]), "hi");
  EXPECT_EQ(calls[1].name, "openat");
  ASSERT_EQ(calls[1].arguments.size(), 3u);
  EXPECT_EQ(crash::annotatedPath(calls[1].arguments[0]), "/t");
  EXPECT_EQ(crash::bytesOf(calls[1].arguments[1]), "a");
  EXPECT_EQ(calls[1].result, 4);
  EXPECT_TRUE(calls[2].injected);
  EXPECT_EQ(calls[2].result, -1);
}

class CrashModel : public ::testing::Test {
 protected:
  void SetUp() override { folder.write("target", "old"); }

  // The looks of "target" in every crash state of a replacement by a
  // temporary file, flushed or not, and its look after the run.
  std::pair<std::set<std::string>, std::string> replacement(bool flushed) const {
    const std::string path = std::filesystem::canonical(folder.path()).string();
    const std::string root = "<" + escaped(path) + ">";
    const std::string temporary = "3<" + escaped(path + "/tmp") + ">";
    const std::string tmp = "\"" + escaped("tmp") + "\"";
    std::string log = "9  openat(AT_FDCWD" + root + ", " + tmp + ", O_WRONLY|O_CREAT|O_EXCL, 0666) = ";
    log += temporary + "\n9  write(" + temporary + ", \"" + escaped("new") + "\", 3) = 3\n";
    if (flushed) log += "9  fsync(" + temporary + ") = 0\n";
    log += "9  close(" + temporary + ") = 0\n9  rename(" + tmp + ", \"" + escaped("target") + "\") = 0\n";
    if (flushed) {
      log += "9  openat(AT_FDCWD" + root + ", \"" + escaped(".") + "\", O_RDONLY|O_DIRECTORY) = 3" + root +
             "\n9  fsync(3" + root + ") = 0\n";
    }
    FileHistory history(folder.path());
    history.follow(crash::parseStraceLog(log));
    const crash::CrashStates states =
        crash::crashStates(history, [](const std::string& path) { return path == "target"; });
    std::set<std::string> looks;  // the target is in every state: it has a version at all times
    for (const crash::CrashState& state : states.distinct) looks.insert(state.entries.at("target").bytes);
    return {looks, states.afterRun.entries.at("target").bytes};
  }

  TempFolder folder;
};

TEST_F(CrashModel, AFlushedReplacementIsOldOrNew) {
  const auto [looks, afterRun] = replacement(true);
  EXPECT_EQ(looks, (std::set<std::string>{"old", "new"}));
  EXPECT_EQ(afterRun, "new");
}

TEST_F(CrashModel, AnUnflushedReplacementCanLoseBothVersions) {
  const auto [looks, afterRun] = replacement(false);
  EXPECT_EQ(looks, (std::set<std::string>{"old", "new", ""}));
  EXPECT_EQ(afterRun, "old") << "nothing was made durable";
}

}  // namespace
}  // namespace catpack
