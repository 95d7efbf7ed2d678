// Reads a catalog's index file into a FileIndex, in either format.
#pragma once

#include <string>

#include "index/base_pairing.h"
#include "index/file_index.h"
#include "index/key_screen.h"

namespace catpack {

// Adds every member listed by base + ".cat"; false when the index file could
// not be loaded (nothing is added then). With a `screen`, the members of a
// current-format catalog whose keys it drops are left out; with a
// `pairing`, so are the members of a diff's base whose pairs it settles.
bool readCatalog(FileIndex& index, const std::string& base, const KeyScreen* screen = nullptr,
                 BasePairing* pairing = nullptr);

// Whether base + ".cat" exists and is in the old format.
bool isOldCatalog(const std::string& base);

}  // namespace catpack
