// Writes a FileIndex as files below an existing folder, each with its
// modification time. Nothing is removed; every file is replaced only by a
// complete one; names that would lead outside the folder are refused.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "index/file_index.h"

namespace catpack {

// Writes every entry but the deletion markers below `outPath`; false only
// when that folder can be neither listed nor created.
bool writeFolder(const FileIndex& index, const std::string& outPath);

// Writes single entries below one output folder, remembering the level
// folders it has already made sure of.
class FolderWriter {
 public:
  explicit FolderWriter(const std::string& outPath) : outPath_(outPath) {}

  // Loads the entry's bytes and writes its file; true when it was written.
  bool writeEntryToFolder(const FileEntry& entry);

  // Creates the level folders of `name` and replaces the file at `name` by
  // one holding `count` bytes with modification time `time`.
  bool writeFileWithTime(const std::string& name, const unsigned char* bytes, std::uint32_t count,
                         std::int64_t time);

 private:
  bool makeLevelFolders(const std::string& convertedName);
  bool replaceFile(const std::string& targetPath, const unsigned char* bytes, std::uint32_t count,
                   std::int64_t time);

  std::string outPath_;
  std::unordered_set<std::string> knownFolders_;
};

// Whether writing `name` below the output folder would stay inside it.
bool staysInsideFolder(const std::string& name);

}  // namespace catpack
