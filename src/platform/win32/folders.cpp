// Folder listing and creation on Windows.
#include <direct.h>
#include <io.h>

#include <cstdint>

#include "platform/platform.h"

namespace catpack::platform {

class FolderReader {
 public:
  FolderReader(std::intptr_t search, const _finddata64i32_t& first)
      : search_(search), entry_(first) {}
  ~FolderReader() { ::_findclose(search_); }
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;

  // The next entry's name; false at the end or on an error.
  bool next(std::string& name) {
    if (first_) {
      first_ = false;
    } else if (::_findnext64i32(search_, &entry_) != 0) {
      return false;
    }
    name = entry_.name;
    return true;
  }

 private:
  std::intptr_t search_;
  _finddata64i32_t entry_;
  bool first_ = true;
};

void FolderReaderCloser::operator()(FolderReader* reader) const { delete reader; }

FolderHandle openFolder(const std::string& path) {
  const std::string search = path + "/*.*";
  _finddata64i32_t first{};
  const std::intptr_t handle = ::_findfirst64i32(search.c_str(), &first);
  if (handle == -1) return nullptr;
  return FolderHandle(new FolderReader(handle, first));
}

bool readFolderEntry(FolderReader& reader, std::string& name) { return reader.next(name); }

bool makeFolder(const std::string& path) { return ::_mkdir(path.c_str()) == 0; }

}  // namespace catpack::platform
