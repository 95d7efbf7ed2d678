// The set of files of a run, keyed by the lower-cased name and walked in
// bytewise unsigned key order. A later source of a name replaces the entry
// whole.
#pragma once

#include <map>
#include <string>

#include "index/file_entry.h"

namespace catpack {

class FileIndex {
 public:
  using Entries = std::map<std::string, FileEntry>;
  using iterator = Entries::iterator;
  using const_iterator = Entries::const_iterator;

  // Insert-or-replace of a file found in a folder.
  bool addFolderFile(const std::string& name, std::int32_t size, std::int64_t time,
                     const std::string& folder);

  // Insert-or-replace of a catalog member.
  bool addCatalogMember(const std::string& name, std::int32_t size, std::int64_t time,
                        const std::string& catalog, std::uint64_t offset,
                        const std::string& digest, bool scrambled);

  // Insert-or-replace of a deletion marker.
  bool addDeletion(const std::string& name);

  // The entry under `key` (already lower-cased), or null.
  FileEntry* find(const std::string& key);
  const FileEntry* find(const std::string& key) const;

  // The position of the entry under `key`, or end().
  iterator lookup(const std::string& key) { return entries_.find(key); }

  // Removes the entry at `position`; gives the position of the next one, so
  // that a walk can go on.
  iterator erase(iterator position) { return entries_.erase(position); }

  // Adds a copy of `entry` under `key` unless the key is already present.
  void insertIfAbsent(const std::string& key, const FileEntry& entry);

  void clear() { entries_.clear(); }
  void swap(FileIndex& other) noexcept { entries_.swap(other.entries_); }
  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  // The entry for `name`'s key, created fresh when it is missing.
  FileEntry& entryFor(const std::string& name);

  Entries entries_;
  std::string key_;  // room for the key of the name being added
};

// Prints "%8d %8d %s %s\n" (size, low 32 bits of time, name, key) per entry.
void dumpIndex(const FileIndex& index);

}  // namespace catpack
