#include "folder/output_file.h"

namespace catpack {

OutputFile::OutputFile(const std::string& targetPath)
    : targetPath_(targetPath), file_(platform::createTemporaryBeside(targetPath, path_)) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : targetPath_(std::move(other.targetPath_)),
      path_(std::move(other.path_)),
      file_(other.file_),
      replaced_(other.replaced_) {
  other.file_ = platform::noDescriptor;
  other.path_.clear();
}

OutputFile::~OutputFile() {
  if (file_ != platform::noDescriptor) platform::closeDescriptor(file_);
  if (!replaced_ && !path_.empty()) platform::removeFile(path_);
}

bool OutputFile::write(const unsigned char* bytes, std::uint32_t count) {
  return platform::writeAll(file_, bytes, count);
}

bool OutputFile::replaceTarget(std::int64_t time) {
  platform::PathStatus existing;
  if (platform::queryPathStatus(targetPath_, existing) &&
      !platform::setPermissions(file_, existing.permissions)) {
    return false;
  }
  platform::setModificationTime(file_, static_cast<std::uint32_t>(time));
  const bool closed = platform::closeDescriptor(file_);
  file_ = platform::noDescriptor;
  replaced_ = closed && platform::renameReplacing(path_, targetPath_);
  return replaced_;
}

}  // namespace catpack
