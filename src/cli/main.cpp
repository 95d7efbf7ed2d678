// catpack: assembles, compares and converts sets of data files held in
// folder trees and catalogs.
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_sequence.h"
#include "util/console.h"
#include "util/text.h"

namespace {

int run(int argc, char** argv) {
  catpack::printOut("catpack 1.0\n");
  catpack::printOut("Copyright (c) 2026 the catpack developers. All rights reserved.\n");
  const std::string program = catpack::programName(argc > 0 ? argv[0] : "catpack");
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const catpack::ParsedCommandLine parsed = catpack::parseCommandLine(arguments, program);
  if (!parsed.settings) return parsed.exitCode;
  return catpack::runSequence(*parsed.settings);
}

}  // namespace

int main(int argc, char** argv) {
  const int exitCode = run(argc, argv);
  catpack::flushConsole();
  std::exit(exitCode);
}
