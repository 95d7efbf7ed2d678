// A file being written to replace a target: a temporary file beside the
// target, renamed over it only once it is complete, removed otherwise (also
// when the run is interrupted).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace catpack {

class OutputFile {
 public:
  // Opens a temporary file beside `targetPath`, with the permission bits
  // `permissions` when set (those of the file it replaces); check opened().
  OutputFile(const std::string& targetPath, const std::uint32_t* permissions);
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  bool opened() const { return file_ != platform::noDescriptor; }
  bool write(const unsigned char* bytes, std::uint32_t count);

  // Sets the time (low 32 bits, unsigned), then renames the file over the
  // target.
  bool replaceTarget(std::int64_t time);

 private:
  std::string targetPath_;
  std::string path_;
  platform::CleanupSlot cleanup_ = platform::noCleanup;
  platform::Descriptor file_;
  bool replaced_ = false;
};

}  // namespace catpack
