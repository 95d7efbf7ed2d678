// A file being written to replace a target: a temporary file beside the
// target, renamed over it only once it is complete and on the disk, removed
// otherwise (also when the run is interrupted). Where no target exists yet,
// the target itself is created and written, and removed unless it is
// completed and flushed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace catpack {

class OutputFile {
 public:
  // Opens a temporary file beside `targetPath`, with the permission bits
  // `permissions` when set (those of the file it replaces); check opened().
  OutputFile(const std::string& targetPath, const std::uint32_t* permissions);

  // Marks the constructor that creates the target itself.
  struct NewTarget {};
  // Creates `targetPath`, which must not exist yet; check opened(). Until
  // it is finished, an interruption removes it.
  OutputFile(const std::string& targetPath, NewTarget);
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  ~OutputFile();

  bool opened() const { return file_ != platform::noDescriptor; }
  bool write(const unsigned char* bytes, std::uint32_t count);

  // Sets the time (low 32 bits, unsigned) once every byte is written; the
  // file stays open to be flushed. A new target is complete from here on:
  // an interruption leaves it.
  void finish(std::int64_t time);

  // The open file, to be flushed.
  platform::Descriptor descriptor() const { return file_; }

  // The file this one replaces or is.
  const std::string& targetPath() const { return targetPath_; }

  // Whether the file is the target itself, made new by this run.
  bool isNewTarget() const { return path_ == targetPath_; }

  // Closes the file and, unless it is the target, renames it over the
  // target; with `flushed` false (its bytes did not reach the disk) the file
  // is removed instead. True when the target is the new file.
  bool putInPlace(bool flushed);

 private:
  std::string targetPath_;
  std::string path_;
  platform::CleanupSlot cleanup_ = platform::noCleanup;
  platform::Descriptor file_;
  bool replaced_ = false;
};

// Opens a file that becomes `targetPath` once put in place: the target
// itself, created new, where no file has that name yet (tried first unless
// `targetListed`: a listing showed one), else a temporary beside a file that
// may be written, made with its permission bits. A symbolic link is replaced
// by the file itself: nothing is written through it to wherever it leads.
// Nothing after the failure's message.
std::optional<OutputFile> openOutputFile(const std::string& targetPath, bool targetListed);

}  // namespace catpack
