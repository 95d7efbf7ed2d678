#include "folder/folder_listing.h"

namespace catpack {

std::unique_ptr<FolderListing> openFolderListing(const std::string& folderPath) {
  platform::FolderHandle handle = platform::openFolder(folderPath);
  if (!handle) return nullptr;
  auto listing = std::make_unique<FolderListing>();
  if (!platform::readFolderEntry(*handle, listing->current)) return nullptr;
  listing->handle = std::move(handle);
  return listing;
}

std::string nextListedName(FolderListing& listing) {
  if (listing.first) {
    listing.first = false;
    return std::move(listing.current);
  }
  std::string name;
  if (!platform::readFolderEntry(*listing.handle, name)) return std::string();
  return name;
}

}  // namespace catpack
