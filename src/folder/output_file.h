// A file being written to replace a target: a temporary file beside the
// target, renamed over it only once it is complete, removed otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace catpack {

class OutputFile {
 public:
  // Opens a temporary file beside `targetPath`; check opened().
  explicit OutputFile(const std::string& targetPath);
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  bool opened() const { return file_ != platform::noDescriptor; }
  bool write(const unsigned char* bytes, std::uint32_t count);

  // Sets the time (low 32 bits, unsigned) and the permissions an existing
  // target had, then renames the file over the target.
  bool replaceTarget(std::int64_t time);

 private:
  std::string targetPath_;
  std::string path_;
  platform::Descriptor file_;
  bool replaced_ = false;
};

}  // namespace catpack
