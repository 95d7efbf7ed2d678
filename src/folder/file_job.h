// One file of a folder output on its way to the disk: what the walking
// thread found out about it, and what writing it did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "folder/output_file.h"
#include "util/loading.h"

namespace catpack {

struct FileJob {
  std::string name;    // the entry's name, as messages give it
  std::string source;  // where its bytes come from, as messages give it
  std::optional<RangeReader> bytes;  // none for an empty file
  bool toggleScrambling = false;     // its bytes are stored scrambled
  std::int64_t time = 0;
  std::uint32_t size = 0;
  // Files with the same nonzero `folder` are in one folder, told apart by
  // its identity; 0 where it could not be told.
  std::uint64_t folder = 0;
  std::string targetPath;      // empty when the entry failed before any writing
  bool targetListed = false;   // a listing of its folder showed the name
  std::string messages;        // what it printed, in order
  std::optional<OutputFile> file;  // the file written, open for flushing; none when it failed
};

// Opens the file that is to become the job's target (see openOutputFile).
void openJobTarget(FileJob& job);

// Writes the job's bytes to its file and sets its time; after a failure's
// message the file is gone. `outPath` is the output folder, for messages.
void writeJobBytes(FileJob& job, const std::string& outPath);

}  // namespace catpack
