#include "support/run_catpack.h"

namespace catpack::testing {

const char* const banner =
    "catpack 1.0\nCopyright (c) 2026 the catpack developers. All rights reserved.\n";

std::string programFileName() {
  const std::string path = CATPACK_BINARY;
  return path.substr(path.find_last_of("/\\") + 1);
}

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  return CatpackProcess(arguments, workingFolder, std::move(options)).finish();
}

}  // namespace catpack::testing
