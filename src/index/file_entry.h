// One file the run knows, held on its own: its name, size and time, and
// where its bytes are.
#pragma once

#include <cstdint>
#include <string>

#include "index/entry_view.h"

namespace catpack {

struct FileEntry {
  std::string name;        // relative path as its source spelled it, "/" between levels
  std::int32_t size = 0;   // content length in bytes
  std::int64_t time = 0;   // last modification, seconds since 1970; 0 when unknown
  std::string folder;      // a folder file's input folder as typed; empty otherwise
  bool inCatalog = false;  // a member of a catalog
  bool scrambled = false;  // its bytes are held under the data key
  std::string catalog;     // a member's catalog base path (its bytes are in catalog + ".dat")
  std::uint64_t offset = 0;  // where a member's bytes begin in the data file
  std::string digest;      // MD5 text stated by a catalog line; empty when unknown

  // The entry seen the way an index shows its entries; valid while this
  // entry is unchanged.
  operator EntryView() const {
    return {text(name), size, time, text(folder), inCatalog, scrambled, text(catalog), offset,
            text(digest)};
  }

 private:
  static EntryText text(const std::string& value) { return {value.c_str(), value.size()}; }
};

}  // namespace catpack
