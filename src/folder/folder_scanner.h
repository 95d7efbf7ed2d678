// Scans a folder tree into a FileIndex, one entry per file below it.
#pragma once

#include <string>

#include "index/file_index.h"
#include "index/filter.h"

namespace catpack {

// Adds every file below `folderPath` under its relative name (`prefix` plus
// the names as listed), with `rootPath` as its folder. Subfolders that
// `exclusion` rejects are not entered. False when some folder could not be
// listed; the scan of this tree ends there.
bool scanFolder(FileIndex& index, const std::string& folderPath, const std::string& prefix,
                const std::string& rootPath, FolderExclusion& exclusion);

}  // namespace catpack
