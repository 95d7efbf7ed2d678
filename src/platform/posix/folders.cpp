// Folder listing and creation on POSIX.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "platform/posix/wide_types.h"

namespace catpack::platform {

class FolderReader {
 public:
  explicit FolderReader(DIR* stream) : stream_(stream) {}
  ~FolderReader() { ::closedir(stream_); }
  FolderReader(const FolderReader&) = delete;
  FolderReader& operator=(const FolderReader&) = delete;
  DIR* stream() const { return stream_; }

 private:
  DIR* stream_;
};

void FolderReaderCloser::operator()(FolderReader* reader) const { delete reader; }

FolderHandle openFolder(const std::string& path) {
  DIR* stream = ::opendir(path.c_str());
  if (stream == nullptr) return nullptr;
  return FolderHandle(new FolderReader(stream));
}

bool readFolderEntry(FolderReader& reader, std::string& name) {
  const dirent* entry = ::readdir(reader.stream());
  if (entry == nullptr) return false;
  name = entry->d_name;
  return true;
}

bool makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

}  // namespace catpack::platform
