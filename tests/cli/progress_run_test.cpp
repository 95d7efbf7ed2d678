// Progress on a terminal: runs long enough to show the status line show it
// on standard error, leave the screen with exactly the lines the program
// prints, and write nothing of it to a stream that is not a terminal.
#include <unistd.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/run_catpack.h"
#include "support/run_on_terminal.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::OnTerminal;
using testing::runCatpack;
using testing::runOnTerminal;
using testing::screenText;
using testing::TempFolder;
using testing::TerminalRunResult;

constexpr off_t sparseFileSize = off_t{128} << 20;
constexpr int mostFiles = 16;  // 2 GiB: long enough for the slowest machine we know of
constexpr std::int64_t oneDay = 86400;

// The texts between one carriage return and the next (or the end) in what a
// terminal received that begin with `phase`: the status lines drawn.
std::vector<std::string> statusLines(const std::string& terminal, const std::string& phase) {
  std::vector<std::string> lines;
  for (std::size_t at = terminal.find('\r'); at != std::string::npos;
       at = terminal.find('\r', at + 1)) {
    const std::size_t end = terminal.find_first_of("\r\n", at + 1);
    std::string line = terminal.substr(at + 1, end == std::string::npos ? end : end - at - 1);
    if (line.compare(0, phase.size(), phase) == 0) lines.push_back(line);
  }
  return lines;
}

bool hasControlBytes(const std::string& text) {
  return text.find('\r') != std::string::npos || text.find('\x1b') != std::string::npos;
}

// Sparse files of 128 MiB in "big" and, with the same sizes and times a day
// later, in "big2", so that every pair is digested by a diff. The set grows
// (for all tests together) until a run is long enough to show progress.
// "big" also holds a file whose name no catalog line can hold: the message
// about it comes after the big files, while the status line is shown.
class ProgressRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data = new TempFolder;
    data->write("big/zz\nlate.txt", "late");
  }
  static void TearDownTestSuite() {
    delete data;
    data = nullptr;
  }

  // Doubles the number of files.
  static void grow() {
    const int wanted = files == 0 ? 2 : files * 2;
    for (; files < wanted; ++files) {
      for (const char* folder : {"big", "big2"}) {
        const std::string relative = std::string(folder) + "/f" + std::to_string(files) + ".bin";
        data->write(relative, "");
        ASSERT_EQ(::truncate(data->at(relative).c_str(), sparseFileSize), 0);
      }
      const std::string name = "/f" + std::to_string(files) + ".bin";
      data->setModificationTime("big2" + name, data->modificationTime("big" + name) + oneDay);
    }
  }

  static void removeCatalog() {
    ::unlink(data->at("big.cat").c_str());
    ::unlink(data->at("big.dat").c_str());
  }

  // Runs `arguments` with `streams` on a terminal, growing the files until
  // the terminal received a status line of `phase`.
  static TerminalRunResult runShowing(const std::vector<std::string>& arguments, OnTerminal streams,
                                      const std::string& phase) {
    for (;;) {
      if (files == 0) grow();
      removeCatalog();
      TerminalRunResult result = runOnTerminal(arguments, data->path(), streams);
      if (!statusLines(result.terminal, phase).empty() || files >= mostFiles) return result;
      grow();
    }
  }

  // The same run with both streams into one file.
  static std::string redirected(const std::vector<std::string>& arguments) {
    removeCatalog();
    const testing::RunResult result = runCatpack(arguments, data->path(), {.oneStream = true});
    EXPECT_EQ(result.exitCode, 0);
    return result.out;
  }

  // The total the status line states: `files` x 128 MiB.
  static std::string totalText() {
    const int mebibytes = files * 128;
    return mebibytes < 1024 ? std::to_string(mebibytes) + ".0 MiB"
                            : std::to_string(mebibytes / 1024) + "." +
                                  std::to_string(mebibytes % 1024 * 10 / 1024) + " GiB";
  }

  static TempFolder* data;
  static int files;
};

TempFolder* ProgressRun::data = nullptr;
int ProgressRun::files = 0;

const std::vector<std::string> pack = {"-in", "big", "-out", "big.cat"};
const std::string packMessages =
    std::string(banner) + "Reading from folder big\nWriting to Catalog big.cat\n";
const std::string packError = "Illegal file name zz\nlate.txt\n";
const std::string packOutput = packMessages + packError;

TEST_F(ProgressRun, PackingShowsAStatusLineThatLeavesTheScreenAsRedirected) {
  const TerminalRunResult onTerminal = runShowing(pack, OnTerminal::bothStreams, "Writing catalog");
  EXPECT_EQ(onTerminal.exitCode, 0);
  const std::vector<std::string> lines = statusLines(onTerminal.terminal, "Writing catalog");
  ASSERT_FALSE(lines.empty()) << onTerminal.terminal;
  const std::regex form("Writing catalog: [0-9]+ of " + std::to_string(files + 1) +
                        " files, [0-9]+(\\.[0-9])? (B|KiB|MiB|GiB) of " + totalText() +
                        ", [0-9]+(\\.[0-9])? (B|KiB|MiB|GiB)/s *");
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::regex_match(line, form)) << line;
    EXPECT_LT(line.size(), 80u) << line;
  }
  EXPECT_EQ(onTerminal.terminal.find('\x1b'), std::string::npos);

  const std::string plain = redirected(pack);
  EXPECT_EQ(plain, packOutput);
  EXPECT_FALSE(hasControlBytes(plain));
  EXPECT_EQ(screenText(onTerminal.terminal), plain);
}

TEST_F(ProgressRun, StandardOutputRedirectedStaysAsItIsWhileTheTerminalShowsProgress) {
  const TerminalRunResult run = runShowing(pack, OnTerminal::standardErrorOnly, "Writing catalog");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.other, packMessages);
  EXPECT_FALSE(hasControlBytes(run.other));
  EXPECT_FALSE(statusLines(run.terminal, "Writing catalog").empty()) << run.terminal;
  EXPECT_EQ(screenText(run.terminal), packError);
}

TEST_F(ProgressRun, StandardErrorRedirectedShowsNoProgressAnywhere) {
  // The data are first made large enough to show progress with both streams on the terminal.
  runShowing(pack, OnTerminal::bothStreams, "Writing catalog");
  removeCatalog();
  const TerminalRunResult run = runOnTerminal(pack, data->path(), OnTerminal::standardOutputOnly);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.terminal, packMessages);
  EXPECT_EQ(run.other, packError);
}

TEST_F(ProgressRun, AnInterruptedRunLeavesNoStatusLineOnTheScreen) {
  for (;;) {
    if (files == 0) grow();
    removeCatalog();
    const TerminalRunResult run =
        runOnTerminal(pack, data->path(), OnTerminal::bothStreams, SIGINT);
    if (statusLines(run.terminal, "Writing catalog").empty() && files < mostFiles) {
      grow();  // ended before it showed progress: a longer run is needed
      continue;
    }
    ASSERT_FALSE(statusLines(run.terminal, "Writing catalog").empty()) << run.terminal;
    EXPECT_EQ(run.exitCode, 128 + SIGINT);
    EXPECT_EQ(screenText(run.terminal), packMessages);
    return;
  }
}

TEST_F(ProgressRun, TheDiffsDigestsShowAStatusLineThatLeavesTheScreenAsRedirected) {
  const std::vector<std::string> diff = {"-in", "big2", "-diff", "big", "-dump"};
  const TerminalRunResult onTerminal = runShowing(diff, OnTerminal::bothStreams, "Comparing");
  EXPECT_EQ(onTerminal.exitCode, 0);
  const std::vector<std::string> lines = statusLines(onTerminal.terminal, "Comparing");
  ASSERT_FALSE(lines.empty()) << onTerminal.terminal;
  const std::regex form("Comparing: [0-9]+ of " + std::to_string(files + 1) +
                        " files, [0-9]+(\\.[0-9])? (B|KiB|MiB|GiB), [0-9]+(\\.[0-9])? "
                        "(B|KiB|MiB|GiB)/s *");
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, form)) << line;

  const std::string plain = redirected(diff);
  // The file only "big" holds is the one deletion marker.
  EXPECT_EQ(plain, std::string(banner) +
                       "Reading from folder big2\nReading from folder big\n"
                       "       0        0 zz\nlate.txt zz\nlate.txt\n");
  EXPECT_FALSE(hasControlBytes(plain));
  EXPECT_EQ(screenText(onTerminal.terminal), plain);
}

}  // namespace
}  // namespace catpack
