// Where a fuzz target keeps the files it writes for each input: in memory
// when the machine offers a memory-backed folder, as writing them to disk
// hundreds of thousands of times would slow the search down for nothing.
#pragma once

#include <filesystem>
#include <string>

#include <unistd.h>

namespace catpack::fuzzing {

// A path of this process's own named `name` plus the process number, in
// /dev/shm when it exists, else in the folder for temporary files.
inline std::string scratchPath(const std::string& name) {
  const std::filesystem::path memory = "/dev/shm";
  const std::filesystem::path parent =
      std::filesystem::is_directory(memory) ? memory : std::filesystem::temp_directory_path();
  return (parent / (name + std::to_string(::getpid()))).string();
}

}  // namespace catpack::fuzzing
