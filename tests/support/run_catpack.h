// Runs the built catpack binary as a user would and collects what it did.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/platform_facts.h"

namespace catpack::testing {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int exitCode = -1;
  long peakResidentKiB = 0;  // POSIX: the largest resident set the run reached
};

// The two lines every run starts with.
extern const char* const banner;

struct RunOptions {
  bool unprivileged = false;        // POSIX: run as an ordinary user, so that permissions count
  bool oneStream = false;           // both streams into one file, collected in `out`
  std::int64_t fileSizeLimit = -1;  // POSIX: when set, writes beyond this many bytes fail
  std::int64_t addressSpaceLimit = -1;  // POSIX: when set, the bytes of memory the run may map
  std::string standardOutput{};  // when set, the file standard output goes to (not collected)
};

// A catpack run started in the background, to be signalled or raced.
class CatpackProcess {
 public:
  // Starts catpack with `arguments` in the folder `workingFolder`.
  CatpackProcess(const std::vector<std::string>& arguments, const std::string& workingFolder,
                 RunOptions options = {});
  ~CatpackProcess();
  CatpackProcess(const CatpackProcess&) = delete;
  CatpackProcess& operator=(const CatpackProcess&) = delete;

  // Sends `signalNumber` to the run (POSIX only).
  void signal(int signalNumber) const;
  // Whether the run has ended (it is then collected by finish()).
  bool hasEnded();
  // Waits for the end of the run and collects what it did; an exit code
  // above 128 means the run was ended by signal (exit code - 128).
  RunResult finish();

 private:
  std::string captureFolder_;
  RunOptions options_;
  std::intptr_t process_ = -1;  // the process id on POSIX, its handle on Windows
  int status_ = 0;
  bool ended_ = false;
  // POSIX: pipes rather than files collect the output, so that a file-size
  // limit holds for what the program writes and not for its messages; a
  // thread reads them while the run goes on.
  long peakResidentKiB_ = 0;
  std::string out_;
  std::string err_;
  std::thread reader_;
};

// Runs catpack with `arguments` in the folder `workingFolder`; `out` and
// `err` hold the bytes as the program wrote them (see console()).
RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options = {});

// The names catalog lists, in listing order, read back with catpack's own
// -dump run in `workingFolder`.
std::vector<std::string> listedNames(const std::string& workingFolder, const std::string& catalog);

// The argument vector that starts catpack with `arguments` (for execv).
class ProgramArguments {
 public:
  explicit ProgramArguments(const std::vector<std::string>& arguments);
  ProgramArguments(const ProgramArguments&) = delete;
  ProgramArguments& operator=(const ProgramArguments&) = delete;
  const char* program() const { return strings_.front().c_str(); }
  char* const* vector() const { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;  // the emulator of a cross build, the program, its arguments
  std::vector<char*> pointers_;       // into strings_, ended by a null
};

// Whether runCatpack starts the program of a cross build through an emulator.
bool runsThroughEmulator();

// The file name of the program that runCatpack starts.
std::string programFileName();

// Whether runs can be made unprivileged here (the tests run as root).
bool canRunUnprivileged();

}  // namespace catpack::testing
