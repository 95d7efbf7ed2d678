// The include and exclude filters, and the exclusion test the folder scan
// asks about every subfolder.
#pragma once

#include <string>
#include <vector>

#include "index/file_index.h"
#include "index/filter_items.h"
#include "pattern/compiled_pattern.h"

namespace catpack {

// Keeps in `index` exactly the entries that pass the items in order: an
// include adds the matching entries of the unfiltered set, an exclude takes
// matching entries away again.
bool applyFilters(FileIndex& index, const PatternList& patterns);

// Whether a subfolder is excluded. The patterns are compiled at the first
// question and kept for the rest of the run.
class FolderExclusion {
 public:
  explicit FolderExclusion(const PatternList& patterns) : patterns_(patterns) {}

  // True when some exclude pattern matches `prefix` (a relative folder
  // name followed by "/", spelled as found on disk).
  bool isExcluded(const std::string& prefix);

 private:
  const PatternList& patterns_;
  std::vector<PatternHandle> compiled_;
  bool compiledOnce_ = false;
};

}  // namespace catpack
