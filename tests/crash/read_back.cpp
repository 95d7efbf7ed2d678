#include "crash/read_back.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/run_catpack.h"

namespace fs = std::filesystem;

namespace catpack::crash {

ReadBack readBack(const std::string& folder, const std::string& catalog) {
  ReadBack back;
  back.listed = testing::listedNames(folder, catalog);
  const std::string extraction = "read-back";
  // An output folder must exist; this one must be new and empty.
  if (!fs::create_directory(fs::path(folder) / extraction)) {
    throw std::runtime_error("the state already holds " + extraction);
  }
  const testing::RunResult extracted = testing::runCatpack({"-in", catalog, "-out", extraction}, folder);
  back.problems = extracted.err;
  if (extracted.exitCode != 0) back.problems += "exit code " + std::to_string(extracted.exitCode) + "\n";
  const fs::path root = fs::path(folder) / extraction;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    back.extracted[entry.path().lexically_relative(root).generic_string()] = bytes.str();
  }
  return back;
}

}  // namespace catpack::crash
