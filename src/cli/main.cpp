// catpack: assembles, compares and converts sets of data files held in
// folder trees and catalogs.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/run_sequence.h"
#include "platform/platform.h"
#include "util/memory_exhaustion.h"
#include "util/text.h"

int main(int argc, char** argv) {
  catpack::endRunWhenMemoryRunsOut();
  catpack::platform::installInterruptCleanup();
  catpack::platform::returnBigBlocksToSystem();
  catpack::printBanner();
  const std::string program = catpack::programName(argc > 0 ? argv[0] : "catpack");
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const catpack::ParsedCommandLine parsed = catpack::parseCommandLine(arguments, program);
  if (!parsed.settings) catpack::endProcess(parsed.exitCode);
  catpack::runSequence(*parsed.settings);
}
