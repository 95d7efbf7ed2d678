// Turns the command line into run settings, with the usage text and every
// command-line error message.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/run_settings.h"

namespace catpack {

// The outcome of parsing: settings to run with, or the exit code of a run
// that ends here (help, or an error already reported).
struct ParsedCommandLine {
  std::optional<RunSettings> settings;
  int exitCode = 0;
};

// Parses and validates `arguments` (those after the program path).
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& program);

// Prints the program's name and version, then its ownership notice.
void printBanner();

// Prints the usage text on standard output.
void printUsage(const std::string& program);

}  // namespace catpack
