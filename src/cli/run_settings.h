// What one run is asked to do, filled once from the command line.
#pragma once

#include <string>
#include <vector>

#include "index/filter.h"

namespace catpack {

struct RunSettings {
  std::vector<std::string> inPaths;    // input folders and catalogs, in order
  std::vector<std::string> diffPaths;  // folders and catalogs of the base set
  std::string outPath;                 // output folder or catalog; empty for none
  PatternList patterns;                // "+include" / "-exclude" items, lower-cased
  bool dump = false;                   // print the listing of the final set
  bool append = false;                 // append to an existing output catalog
  bool oldFormat = false;              // write a new catalog in the old format
  bool checksum = false;               // a diff compares the contents of every equal-size pair
};

}  // namespace catpack
