#include "support/run_catpack.h"

#include <algorithm>

namespace catpack::testing {

const char* const banner =
    "catpack 1.0\nCopyright (c) 2026 the catpack developers. All rights reserved.\n";

bool runsThroughEmulator() {
#ifdef CATPACK_EMULATOR
  return true;
#else
  return false;
#endif
}

ProgramArguments::ProgramArguments(const std::vector<std::string>& arguments) {
#ifdef CATPACK_EMULATOR
  const std::string emulator = CATPACK_EMULATOR;
  for (std::size_t at = 0; at <= emulator.size();) {
    const std::size_t end = std::min(emulator.find('|', at), emulator.size());
    strings_.push_back(emulator.substr(at, end - at));
    at = end + 1;
  }
#endif
  strings_.push_back(CATPACK_BINARY);
  strings_.insert(strings_.end(), arguments.begin(), arguments.end());
  for (std::string& text : strings_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}

std::string programFileName() {
  const std::string path = CATPACK_BINARY;
  return path.substr(path.find_last_of("/\\") + 1);
}

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  return CatpackProcess(arguments, workingFolder, std::move(options)).finish();
}

std::vector<std::string> listedNames(const std::string& workingFolder, const std::string& catalog) {
  std::string listing = runCatpack({"-in", catalog, "-dump"}, workingFolder).out;
  std::erase(listing, '\r');  // the console's line ends, on Windows
  std::vector<std::string> names;
  std::size_t at = listing.find("filename: ");
  at = listing.find('\n', at) + 1;
  while (at != 0 && at < listing.size()) {
    const std::size_t end = listing.find('\n', at);
    // "%8d %8d %s %s": the name and its key are equally long.
    const std::string rest = listing.substr(at + 18, end - at - 18);
    names.push_back(rest.substr(0, (rest.size() - 1) / 2));
    at = end + 1;
  }
  return names;
}

}  // namespace catpack::testing
