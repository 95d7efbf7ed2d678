// Runs the built catpack binary as a user would and collects what it did.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/platform_facts.h"

namespace catpack::testing {

struct RunResult {
  std::string out;  // standard output
  std::string err;  // standard error
  int exitCode = -1;
};

// The two lines every run starts with.
extern const char* const banner;

struct RunOptions {
  bool unprivileged = false;         // POSIX: run as an ordinary user, so that permissions count
  bool oneStream = false;            // both streams into one file, collected in `out`
  std::int64_t fileSizeLimit = -1;   // POSIX: when set, writes beyond this many bytes fail
};

// Runs catpack with `arguments` in the folder `workingFolder`; `out` and
// `err` hold the bytes as the program wrote them (see console()).
RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options = {});

// The file name of the program that runCatpack starts.
std::string programFileName();

// Whether runs can be made unprivileged here (the tests run as root).
bool canRunUnprivileged();

}  // namespace catpack::testing
