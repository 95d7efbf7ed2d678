#include "folder/folder_writer.h"

#include <optional>

#include "folder/folder_listing.h"
#include "index/entry_content.h"
#include "platform/platform.h"
#include "util/console.h"

namespace catpack {

namespace {

bool isSeparator(char byte) { return byte == '/' || byte == '\\'; }

// Closes a descriptor and removes its temporary file unless kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& targetPath)
      : file_(platform::createTemporaryBeside(targetPath, path_)) {}
  ~TemporaryFile() {
    if (file_ != platform::noDescriptor) platform::closeDescriptor(file_);
    if (!kept_ && !path_.empty()) platform::removeFile(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool opened() const { return file_ != platform::noDescriptor; }
  platform::Descriptor descriptor() const { return file_; }

  // Closes the file and renames it over `targetPath`.
  bool replace(const std::string& targetPath) {
    const bool closed = platform::closeDescriptor(file_);
    file_ = platform::noDescriptor;
    kept_ = closed && platform::renameReplacing(path_, targetPath);
    return kept_;
  }

 private:
  std::string path_;
  platform::Descriptor file_;
  bool kept_ = false;
};

}  // namespace

bool staysInsideFolder(const std::string& name) {
  if (name.empty() || isSeparator(name.front())) return false;
  std::size_t levelStart = 0;
  for (std::size_t at = 0; at <= name.size(); ++at) {
    if (at < name.size() && !isSeparator(name[at])) continue;
    if (name.compare(levelStart, at - levelStart, "..") == 0 && at - levelStart == 2) return false;
    levelStart = at + 1;
  }
  return true;
}

bool writeFolder(const FileIndex& index, const std::string& outPath) {
  if (!openFolderListing(outPath)) {
    platform::makeFolder(outPath);
    if (!openFolderListing(outPath)) {
      printErr("Could neither open an existing folder nor create a new one named '%s'\n",
               outPath.c_str());
      return false;
    }
  }
  FolderWriter writer(outPath);
  for (const auto& [key, entry] : index) {
    if (!isDeletionMarker(entry)) writer.writeEntryToFolder(entry);
  }
  return true;
}

bool FolderWriter::writeEntryToFolder(const FileEntry& entry) {
  if (!staysInsideFolder(entry.name)) {
    printErr("Refusing to write file %s outside folder %s\n", entry.name.c_str(), outPath_.c_str());
    return false;
  }
  ByteBuffer bytes;
  if (entry.size != 0) {
    std::optional<ByteBuffer> loaded = loadStoredBytes(entry);
    if (!loaded) {
      if (entry.inCatalog) {
        printErr("Failed reading file %s from %s.dat\n", entry.name.c_str(), entry.catalog.c_str());
      } else {
        printErr("Failed reading file %s from %s\n", entry.name.c_str(), entry.folder.c_str());
      }
      return false;
    }
    bytes = std::move(*loaded);
    if (entry.scrambled) bytes.xorWith(dataKey);
  }
  if (!writeFileWithTime(entry.name, bytes.data(), bytes.size(), entry.time)) {
    printErr("Failed writing file %s to folder %s\n", entry.name.c_str(), outPath_.c_str());
    return false;
  }
  return true;
}

bool FolderWriter::writeFileWithTime(const std::string& name, const unsigned char* bytes,
                                     std::uint32_t count, std::int64_t time) {
  std::string converted = name;
  for (char& byte : converted) {
    if (byte == '\\') byte = '/';
  }
  if (!makeLevelFolders(converted)) return false;
  return replaceFile(outPath_ + "/" + converted, bytes, count, time);
}

bool FolderWriter::makeLevelFolders(const std::string& convertedName) {
  for (std::size_t at = convertedName.find('/'); at != std::string::npos;
       at = convertedName.find('/', at + 1)) {
    std::string level = outPath_ + "/" + convertedName.substr(0, at);
    if (knownFolders_.count(level) != 0) continue;
    platform::makeFolder(level);
    if (!openFolderListing(level)) {
      printErr("Could neither open an existing subfolder nor create a new one named '%s'\n",
               level.c_str());
      return false;
    }
    knownFolders_.insert(std::move(level));
  }
  return true;
}

bool FolderWriter::replaceFile(const std::string& targetPath, const unsigned char* bytes,
                               std::uint32_t count, std::int64_t time) {
  platform::PathStatus existing;
  const bool exists = platform::queryPathStatus(targetPath, existing);
  std::optional<TemporaryFile> temporary;
  if (!exists || (!existing.isFolder && platform::isWritable(targetPath))) {
    temporary.emplace(targetPath);
  }
  if (!temporary || !temporary->opened()) {
    printErr("Failed to open file '%s' for writing\n", targetPath.c_str());
    return false;
  }
  const platform::Descriptor file = temporary->descriptor();
  if (count != 0 && !platform::writeAll(file, bytes, count)) return false;
  if (exists && !platform::setPermissions(file, existing.permissions)) return false;
  platform::setModificationTime(file, static_cast<std::uint32_t>(time));
  return temporary->replace(targetPath);
}

}  // namespace catpack
