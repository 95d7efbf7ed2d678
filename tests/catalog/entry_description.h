// Every entry of an index as one line of text, for comparing two indexes
// that should end alike.
#pragma once

#include <string>

#include "index/file_index.h"

namespace catpack {

// Each entry in key order: its key, name, size, time, offset, digest and
// source, one line per entry.
inline std::string describeEntries(const FileIndex& index) {
  std::string text;
  for (const auto& [key, entry] : index) {
    text += std::string(key) + "|" + std::string(entry.name) + " " + std::to_string(entry.size) + " " +
            std::to_string(entry.time) + " @" + std::to_string(entry.offset) + " " +
            std::string(entry.digest) + " " + std::string(entry.catalog) + "\n";
  }
  return text;
}

}  // namespace catpack
