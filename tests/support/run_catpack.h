// Runs the built catpack binary as a user would and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace catpack::testing {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int exitCode = -1;
  long peakResidentKiB = 0;  // the largest resident set the run reached
};

// The two lines every run starts with.
extern const char* const banner;

struct RunOptions {
  bool unprivileged = false;  // run as an ordinary user, so that permissions count
  bool oneStream = false;     // both streams into one file, collected in `out`
  long fileSizeLimit = -1;    // when set, writes beyond this many bytes fail
};

// Runs catpack with `arguments` in the folder `workingFolder`.
RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options = {});

// Whether runs can be made unprivileged here (the tests run as root).
bool canRunUnprivileged();

}  // namespace catpack::testing
