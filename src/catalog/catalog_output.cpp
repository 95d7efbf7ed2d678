#include "catalog/catalog_output.h"

namespace catpack {

namespace {

constexpr std::size_t indexFlushSize = 1 << 16;

std::uint64_t sizeOf(platform::Descriptor file) {
  const std::int64_t size = platform::regularFileSize(file);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

CatalogOutput::~CatalogOutput() { abandon(); }

bool CatalogOutput::openNew() {
  // A folder standing where either file must go cannot be replaced.
  for (const char* extension : {".cat", ".dat"}) {
    platform::PathStatus status;
    if (platform::queryPathStatus(base_ + extension, status) && status.isFolder) return false;
  }
  indexFile_ = platform::createTemporaryBeside(base_ + ".cat", indexTemporary_);
  if (indexFile_ == platform::noDescriptor) return false;
  dataFile_ = platform::createTemporaryBeside(base_ + ".dat", dataTemporary_);
  return dataFile_ != platform::noDescriptor;
}

bool CatalogOutput::openForAppending() {
  indexFile_ = platform::openForAppending(base_ + ".cat");
  if (indexFile_ == platform::noDescriptor) return false;
  dataFile_ = platform::openForAppending(base_ + ".dat");
  if (dataFile_ == platform::noDescriptor) return false;
  indexSizeBefore_ = sizeOf(indexFile_);
  dataSizeBefore_ = sizeOf(dataFile_);
  appending_ = true;  // from here on a failure cuts both files back
  return true;
}

bool CatalogOutput::writeData(const unsigned char* bytes, std::uint32_t length) {
  dataWritten_ += length;
  return platform::writeAll(dataFile_, bytes, length);
}

bool CatalogOutput::cutDataBack(std::uint64_t size) {
  dataWritten_ = size;
  const std::uint64_t length = dataSizeBefore_ + size;
  return platform::truncateFile(dataFile_, length) &&
         platform::seekFromStart(dataFile_, length) == static_cast<std::int64_t>(length);
}

bool CatalogOutput::writeIndex(const std::string& line) {
  pendingIndex_ += line;
  return pendingIndex_.size() < indexFlushSize || flushIndex();
}

bool CatalogOutput::flushIndex() {
  const bool written = platform::writeAll(indexFile_, pendingIndex_.data(), pendingIndex_.size());
  pendingIndex_.clear();
  return written;
}

bool CatalogOutput::commit() {
  bool sound = flushIndex();
  sound = platform::closeDescriptor(dataFile_) && sound;
  dataFile_ = platform::noDescriptor;
  sound = platform::closeDescriptor(indexFile_) && sound;
  indexFile_ = platform::noDescriptor;
  if (sound && !indexTemporary_.empty()) {
    sound = platform::renameReplacing(dataTemporary_, base_ + ".dat") &&
            platform::renameReplacing(indexTemporary_, base_ + ".cat");
  }
  if (!sound) {
    abandon();
    return false;
  }
  done_ = true;
  return true;
}

void CatalogOutput::abandon() {
  if (done_) return;
  done_ = true;
  if (appending_) {
    // Reopen what was closed so that both files can be cut back.
    if (indexFile_ == platform::noDescriptor) indexFile_ = platform::openForAppending(base_ + ".cat");
    if (dataFile_ == platform::noDescriptor) dataFile_ = platform::openForAppending(base_ + ".dat");
    if (indexFile_ != platform::noDescriptor) platform::truncateFile(indexFile_, indexSizeBefore_);
    if (dataFile_ != platform::noDescriptor) platform::truncateFile(dataFile_, dataSizeBefore_);
  }
  if (indexFile_ != platform::noDescriptor) platform::closeDescriptor(indexFile_);
  if (dataFile_ != platform::noDescriptor) platform::closeDescriptor(dataFile_);
  indexFile_ = dataFile_ = platform::noDescriptor;
  if (!indexTemporary_.empty()) platform::removeFile(indexTemporary_);
  if (!dataTemporary_.empty()) platform::removeFile(dataTemporary_);
}

}  // namespace catpack
