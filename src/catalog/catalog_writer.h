// Writes a FileIndex as a catalog: new in either format, or appended to an
// existing catalog in the format it already has. All or nothing: a failed
// run leaves the previous catalog as it was.
#pragma once

#include <string>

#include "index/file_index.h"
#include "util/workers.h"

namespace catpack {

// Writes `index` to base + ".cat" and base + ".dat"; false when a file could
// not be opened or written (the catalog is then left as it was before).
// Digests are worked out by `helpers` threads beside this one; the files
// written and the messages do not depend on their number.
bool writeCatalog(const FileIndex& index, const std::string& base, bool append, bool oldFormat,
                  unsigned helpers = helperThreadCount());

}  // namespace catpack
