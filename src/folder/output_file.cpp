#include "folder/output_file.h"

#include "util/console.h"

namespace catpack {

OutputFile::OutputFile(const std::string& targetPath, const std::uint32_t* permissions)
    // Made with the permission bits before any byte is written, so that a
    // private file's new bytes are never readable by others, not even in
    // the temporary file.
    : targetPath_(targetPath),
      file_(platform::createTemporaryBeside(targetPath, path_, cleanup_, permissions)) {}

OutputFile::OutputFile(const std::string& targetPath, NewTarget)
    : targetPath_(targetPath), file_(platform::createNewFile(targetPath, cleanup_)) {
  if (opened()) path_ = targetPath;
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : targetPath_(std::move(other.targetPath_)),
      path_(std::move(other.path_)),
      cleanup_(other.cleanup_),
      file_(other.file_),
      replaced_(other.replaced_) {
  other.file_ = platform::noDescriptor;
  other.path_.clear();
  other.cleanup_ = platform::noCleanup;
}

OutputFile::~OutputFile() {
  if (file_ != platform::noDescriptor) platform::closeDescriptor(file_);
  if (!replaced_ && !path_.empty()) platform::removeFile(path_);
  platform::forgetOnInterrupt(cleanup_);
}

bool OutputFile::write(const unsigned char* bytes, std::uint32_t count) {
  return platform::writeAll(file_, bytes, count);
}

void OutputFile::finish(std::int64_t time) {
  platform::setModificationTime(file_, static_cast<std::uint32_t>(time));
  if (isNewTarget()) {
    platform::forgetOnInterrupt(cleanup_);
    cleanup_ = platform::noCleanup;
  }
}

bool OutputFile::putInPlace(bool flushed) {
  const bool closed = platform::closeDescriptor(file_);
  file_ = platform::noDescriptor;
  replaced_ = flushed && closed && (isNewTarget() || platform::renameReplacing(path_, targetPath_));
  return replaced_;
}

std::optional<OutputFile> openOutputFile(const std::string& targetPath, bool targetListed) {
  // Most targets do not exist yet: they are created and written in place,
  // which spares the look at the target and the rename.
  if (!targetListed) {
    OutputFile created(targetPath, OutputFile::NewTarget{});
    if (created.opened()) return created;
  }
  platform::PathStatus existing;
  const bool exists = platform::queryLinkStatus(targetPath, existing);
  if (!exists || existing.isLink || (!existing.isFolder && platform::isWritable(targetPath))) {
    OutputFile file(targetPath, exists && !existing.isLink ? &existing.permissions : nullptr);
    if (file.opened()) return file;
  }
  printErr("Failed to open file '%s' for writing\n", targetPath.c_str());
  return std::nullopt;
}

}  // namespace catpack
