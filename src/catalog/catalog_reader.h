// Reads a catalog's index file into a FileIndex, in either format.
#pragma once

#include <string>

#include "index/file_index.h"
#include "index/key_screen.h"

namespace catpack {

// Adds every member listed by base + ".cat"; false when the index file could
// not be loaded (nothing is added then). With a `screen`, the members of a
// current-format catalog whose keys it drops are left out.
bool readCatalog(FileIndex& index, const std::string& base, const KeyScreen* screen = nullptr);

// Whether base + ".cat" exists and is in the old format.
bool isOldCatalog(const std::string& base);

}  // namespace catpack
