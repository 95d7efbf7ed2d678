// A catalog of a replayed crash state as the built binary reads it back.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace catpack::crash {

// What the built binary makes of a catalog.
struct ReadBack {
  std::vector<std::string> listed;               // the names its listing (-dump) shows, in order
  std::map<std::string, std::string> extracted;  // the files extracting it gives, by relative name
  std::string problems;  // what extracting printed on standard error, and an exit code other than 0
};

// Lists the catalog `catalog` ("c.cat") of `folder` and extracts it into a
// new, empty folder beside it.
ReadBack readBack(const std::string& folder, const std::string& catalog);

}  // namespace catpack::crash
