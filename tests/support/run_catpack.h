// Runs the built catpack binary as a user would and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace catpack::testing {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int exitCode = -1;
};

// The two lines every run starts with.
extern const char* const banner;

struct RunOptions {
  bool unprivileged = false;  // run as an ordinary user, so that permissions count
  bool oneStream = false;     // both streams into one file, collected in `out`
  long fileSizeLimit = -1;    // when set, writes beyond this many bytes fail
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

  // Sends `signalNumber` to the run.
  void signal(int signalNumber) const;
  // Whether the run has ended (it is then collected by finish()).
  bool hasEnded();
  // Waits for the end of the run and collects what it did; an exit code
  // above 128 means the run was ended by signal (exit code - 128).
  RunResult finish();

 private:
  std::string captureFolder_;
  RunOptions options_;
  int pid_ = -1;
  int status_ = 0;
  bool ended_ = false;
};

// Runs catpack with `arguments` in the folder `workingFolder`.
RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options = {});

// Whether runs can be made unprivileged here (the tests run as root).
bool canRunUnprivileged();

}  // namespace catpack::testing
