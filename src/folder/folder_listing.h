// One open listing of a folder's entry names, "." and ".." included. A
// listing is closed when its owner lets go of it.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace catpack {

struct FolderListing {
  platform::FolderHandle handle;
  std::string current;  // the name found at opening, until handed out
  bool first = true;
};

// Opens the listing of `folderPath`; null when the folder cannot be listed.
std::unique_ptr<FolderListing> openFolderListing(const std::string& folderPath);

// The next entry's name; the empty text when the listing is at its end.
std::string nextListedName(FolderListing& listing);

}  // namespace catpack
