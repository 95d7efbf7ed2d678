#include "folder/folder_scanner.h"

#include <vector>

#include "folder/folder_listing.h"
#include "util/console.h"
#include "util/file_status.h"
#include "util/progress.h"
#include "util/text.h"

namespace catpack {

namespace {

using platform::FolderIdentity;

class Scan {
 public:
  Scan(FileIndex& index, const std::string& rootPath, FolderExclusion& exclusion)
      : index_(index), rootPath_(rootPath), exclusion_(exclusion) {}

  bool scan(const std::string& folderPath, const std::string& prefix);

 private:
  // Whether the folder at `fullPath` is one on the path from the root to it.
  bool leadsBackUp(const std::string& fullPath, FolderIdentity& identity) const;

  FileIndex& index_;
  const std::string& rootPath_;
  FolderExclusion& exclusion_;
  std::vector<FolderIdentity> path_;
  const char separator_ = platform::pathSeparator();
};

bool Scan::leadsBackUp(const std::string& fullPath, FolderIdentity& identity) const {
  if (!platform::identifyFolder(fullPath, identity)) return false;
  for (const FolderIdentity& above : path_) {
    if (above == identity) return true;
  }
  return false;
}

bool Scan::scan(const std::string& folderPath, const std::string& prefix) {
  std::unique_ptr<FolderListing> listing = openFolderListing(folderPath);
  if (!listing) {
    printErr("Failed accessing directory %s!\n", folderPath.c_str());
    return false;
  }
  if (path_.empty()) {
    FolderIdentity root{};
    leadsBackUp(folderPath, root);
    path_.push_back(root);
  }
  for (std::string name = nextListedName(*listing); !name.empty();
       name = nextListedName(*listing)) {
    const std::string fullPath = formatText("%s%c%s", folderPath.c_str(), separator_, name.c_str());
    std::string relativeName = formatText("%s%s", prefix.c_str(), name.c_str());
    std::int64_t time = 0;
    const std::int32_t size = fileSizeAndTime(fullPath, time);
    if (size == -1) {
      printErr("Illegal file %s\n", relativeName.c_str());
      continue;
    }
    if (size >= 0) {
      index_.addFolderFile(relativeName, size, time, rootPath_);
      advance(1, static_cast<std::uint32_t>(size));
      continue;
    }
    if (name == "." || name == "..") continue;
    relativeName += '/';
    if (exclusion_.isExcluded(relativeName)) {
      printOut("Skipping %s..\n", relativeName.c_str());
      continue;
    }
    FolderIdentity identity{};
    if (leadsBackUp(fullPath, identity)) {
      printErr("Skipping folder cycle %s\n", relativeName.c_str());
      continue;
    }
    path_.push_back(identity);
    const bool listed = scan(fullPath, relativeName);
    path_.pop_back();
    if (!listed) return false;
  }
  return true;
}

}  // namespace

bool scanFolder(FileIndex& index, const std::string& folderPath, const std::string& prefix,
                const std::string& rootPath, FolderExclusion& exclusion) {
  const ProgressPhase phase("Reading folder", unknownTotal, unknownTotal);
  Scan scan(index, rootPath, exclusion);
  return scan.scan(folderPath, prefix);
}

}  // namespace catpack
