#include "index/file_index.h"

#include "util/console.h"
#include "util/text.h"

namespace catpack {

FileEntry& FileIndex::entryFor(const std::string& name) {
  key_.assign(name);
  lowerCase(key_);
  // Sources are often already in key order: then the new key goes last.
  if (entries_.empty() || entries_.rbegin()->first < key_) {
    return entries_.emplace_hint(entries_.end(), key_, FileEntry())->second;
  }
  const iterator found = entries_.lower_bound(key_);
  if (found != entries_.end() && found->first == key_) return found->second;
  return entries_.emplace_hint(found, key_, FileEntry())->second;
}

bool FileIndex::addFolderFile(const std::string& name, std::int32_t size, std::int64_t time,
                              const std::string& folder) {
  FileEntry& entry = entryFor(name);
  entry.name = name;
  entry.size = size;
  entry.time = time;
  entry.folder = folder;
  entry.inCatalog = false;
  entry.scrambled = false;
  entry.catalog.clear();
  entry.offset = 0;
  entry.digest.clear();
  return true;
}

bool FileIndex::addCatalogMember(const std::string& name, std::int32_t size, std::int64_t time,
                                 const std::string& catalog, std::uint64_t offset,
                                 const std::string& digest, bool scrambled) {
  FileEntry& entry = entryFor(name);
  entry.name = name;
  entry.size = size;
  entry.time = time;
  entry.folder.clear();
  entry.inCatalog = true;
  entry.scrambled = scrambled;
  entry.catalog = catalog;
  entry.offset = offset;
  entry.digest = digest;
  return true;
}

bool FileIndex::addDeletion(const std::string& name) {
  FileEntry& entry = entryFor(name);
  entry = FileEntry{};
  entry.name = name;
  return true;
}

FileEntry* FileIndex::find(const std::string& key) {
  const iterator found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second;
}

const FileEntry* FileIndex::find(const std::string& key) const {
  const const_iterator found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second;
}

void FileIndex::insertIfAbsent(const std::string& key, const FileEntry& entry) {
  entries_.try_emplace(key, entry);
}

void dumpIndex(const FileIndex& index) {
  for (const auto& [key, entry] : index) {
    printOut("%8d %8d %s %s\n", entry.size, static_cast<std::int32_t>(entry.time),
             entry.name.c_str(), key.c_str());
  }
}

}  // namespace catpack
