#include "catalog/catalog_output.h"

#include <algorithm>
#include <vector>

namespace catpack {

namespace {

constexpr std::size_t indexFlushSize = 1 << 16;
// How many data bytes are written before their write-back to the disk is
// started, so that the flush at the end finds most of them there already.
constexpr std::uint64_t writeBackStep = 8u << 20;
// How many data bytes are written before the data file is flushed while it
// is still being written, so that the disk takes them while the run goes
// on rather than at the end.
constexpr std::uint64_t flushAheadStep = 64u << 20;

std::uint64_t sizeOf(platform::Descriptor file) {
  const std::int64_t size = platform::regularFileSize(file);
  return size < 0 ? 0 : static_cast<std::uint64_t>(size);
}

bool exists(const std::string& path) {
  platform::PathStatus status;
  return platform::queryPathStatus(path, status);
}

// The folders that hold the files at `first` and `second`, each once.
std::vector<std::string> foldersOf(const std::string& first, const std::string& second) {
  std::vector<std::string> folders{platform::folderHolding(first)};
  std::string other = platform::folderHolding(second);
  if (other != folders.front()) folders.push_back(std::move(other));
  return folders;
}

}  // namespace

CatalogOutput::CatalogOutput(const std::string& base)
    : indexPath_(base + ".cat"), dataPath_(base + ".dat") {}

CatalogOutput::~CatalogOutput() { abandon(); }

bool CatalogOutput::lock() {
  lock_ = platform::lockForWriting(
      {platform::resolveLinks(indexPath_), platform::resolveLinks(dataPath_)});
  return lock_ != nullptr;
}

bool CatalogOutput::openNew() {
  indexReplacement_.target = platform::resolveLinks(indexPath_);
  dataReplacement_.target = platform::resolveLinks(dataPath_);
  // Only files that could be opened for writing are replaced; both are
  // checked before anything is created.
  for (const Replacement* replacement : {&indexReplacement_, &dataReplacement_}) {
    platform::PathStatus status;
    if (platform::queryPathStatus(replacement->target, status) &&
        (status.isFolder || !platform::isWritable(replacement->target))) {
      return false;
    }
  }
  return openReplacement(indexReplacement_, indexFile_) &&
         openReplacement(dataReplacement_, dataFile_);
}

bool CatalogOutput::openReplacement(Replacement& replacement, platform::Descriptor& file) {
  file = platform::createTemporaryBeside(replacement.target, replacement.temporary,
                                         replacement.cleanup);
  if (file == platform::noDescriptor) return false;
  platform::PathStatus previous;
  if (!platform::queryPathStatus(replacement.target, previous)) return true;
  // The new file is read by the same people as the one it replaces, from
  // its first byte on; the owner only where the process may give it.
  platform::setOwner(file, previous.owner, previous.group);
  return platform::setPermissions(file, previous.permissions);
}

bool CatalogOutput::openForAppending() {
  const bool hadIndex = exists(indexPath_);
  const bool hadData = exists(dataPath_);
  appending_ = true;  // from here on a failure cuts both files back
  indexFile_ = platform::openForAppending(indexPath_);
  if (indexFile_ == platform::noDescriptor) return false;
  createdIndex_ = !hadIndex;
  indexCutBack_ = hadIndex ? platform::cutBackOnInterrupt(indexFile_, sizeOf(indexFile_))
                           : platform::removeOnInterrupt(indexPath_);
  indexSizeBefore_ = sizeOf(indexFile_);
  dataFile_ = platform::openForAppending(dataPath_);
  if (dataFile_ == platform::noDescriptor) return false;
  createdData_ = !hadData;
  dataCutBack_ = hadData ? platform::cutBackOnInterrupt(dataFile_, sizeOf(dataFile_))
                         : platform::removeOnInterrupt(dataPath_);
  dataSizeBefore_ = sizeOf(dataFile_);
  return true;
}

bool CatalogOutput::writeData(const unsigned char* bytes, std::uint32_t length) {
  dataWritten_ += length;
  if (!platform::writeAll(dataFile_, bytes, length)) return false;
  keepDataMoving();
  return true;
}

std::uint32_t CatalogOutput::copyData(RangeReader& source, std::uint32_t count) {
  const std::uint32_t copied = source.copyQuietlyTo(dataFile_, count);
  dataWritten_ += copied;
  keepDataMoving();
  return copied;
}

void CatalogOutput::keepDataMoving() {
  if (dataWritten_ - writtenBack_ >= writeBackStep) startWritingBack();
  if (dataWritten_ - flushAskedAt_ >= flushAheadStep) {
    if (!flushAhead_) flushAhead_.emplace(dataFile_);
    flushAhead_->ask();
    flushAskedAt_ = dataWritten_;
  }
}

void CatalogOutput::startWritingBack() {
  platform::startWriteBack(dataFile_, dataSizeBefore_ + writtenBack_, dataSizeBefore_ + dataWritten_);
  writtenBack_ = dataWritten_;
}

bool CatalogOutput::cutDataBack(std::uint64_t size) {
  dataWritten_ = size;
  writtenBack_ = std::min(writtenBack_, size);
  flushAskedAt_ = std::min(flushAskedAt_, size);
  const std::uint64_t length = dataSizeBefore_ + size;
  return platform::truncateFile(dataFile_, length) &&
         platform::seekFromStart(dataFile_, length) == static_cast<std::int64_t>(length);
}

bool CatalogOutput::writeIndex(const std::string& line) {
  pendingIndex_ += line;
  // An append keeps its lines until the data they list is on the disk.
  return appending_ || pendingIndex_.size() < indexFlushSize || flushIndex();
}

bool CatalogOutput::flushIndex() {
  const bool written = platform::writeAll(indexFile_, pendingIndex_.data(), pendingIndex_.size());
  // A new catalog's index goes to the disk as it is written, beside its
  // data; an append's lines are written only once their data is flushed.
  if (written && !appending_) {
    platform::startWriteBack(indexFile_, indexWritten_, indexWritten_ + pendingIndex_.size());
    indexWritten_ += pendingIndex_.size();
  }
  pendingIndex_.clear();
  return written;
}

bool CatalogOutput::openForReadingBack() {
  if (dataReader_ == platform::noDescriptor) {
    dataReader_ = platform::openForReading(appending_ ? dataPath_ : dataReplacement_.temporary);
  }
  return dataReader_ != platform::noDescriptor;
}

bool CatalogOutput::readData(std::uint64_t at, unsigned char* into, std::uint32_t count) const {
  std::uint64_t position = dataSizeBefore_ + at;
  while (count > 0) {
    const std::int64_t read = platform::readAt(dataReader_, into, count, position);
    if (read <= 0) return false;
    into += read;
    position += static_cast<std::uint64_t>(read);
    count -= static_cast<std::uint32_t>(read);
  }
  return true;
}

void CatalogOutput::closeReader() {
  if (dataReader_ != platform::noDescriptor) platform::closeDescriptor(dataReader_);
  dataReader_ = platform::noDescriptor;
}

bool CatalogOutput::commit() {
  closeReader();
  // The lines of an append reach the index only once the data they list is
  // on the disk; a new catalog's files are both on the disk before either
  // is put in place, both written back at once.
  startWritingBack();
  // A flush ahead that failed fails the catalog, whatever the last flush
  // says.
  const bool flushedAhead = !flushAhead_ || flushAhead_->finish();
  bool sound = flushedAhead && (appending_ ? platform::flushFile(dataFile_) && flushIndex() &&
                                                 platform::flushFile(indexFile_)
                                           : flushIndex() && platform::flushFile(indexFile_) &&
                                                 platform::flushFile(dataFile_));
  // An appended catalog is complete once both files are closed; the
  // descriptors must not be cut back once closed, as their numbers may be
  // reused by then.
  if (sound && appending_) forgetCutBacks();
  sound = platform::closeDescriptor(dataFile_) && sound;
  dataFile_ = platform::noDescriptor;
  sound = platform::closeDescriptor(indexFile_) && sound;
  indexFile_ = platform::noDescriptor;
  if (sound && !appending_) sound = putInPlace();
  // Files an append created have names that must reach the disk too.
  if (sound && appending_ && (createdIndex_ || createdData_)) {
    sound = platform::flushFolders(foldersOf(indexPath_, dataPath_));
  }
  if (!sound) {
    abandon();
    return false;
  }
  done_ = true;
  return true;
}

bool CatalogOutput::putInPlace() {
  // No interruption between the two renames: the catalog is either the
  // previous one or the new one, never the new data with the old index.
  platform::InterruptDeferral deferral;
  const std::string& data = dataReplacement_.target;
  const std::string& index = indexReplacement_.target;
  // A second name of the previous data file, to put back should the index
  // fail to follow it.
  PreviousFile previousData(data);
  bool placed = platform::renameReplacing(dataReplacement_.temporary, data);
  if (placed && !platform::renameReplacing(indexReplacement_.temporary, index)) {
    placed = false;
    previousData.putBack();
  }
  if (placed) {
    // The temporary files are gone: their names are the catalog's now.
    for (Replacement* replacement : {&indexReplacement_, &dataReplacement_}) {
      platform::forgetOnInterrupt(replacement->cleanup);
      replacement->cleanup = platform::noCleanup;
      replacement->temporary.clear();
    }
    // Where the new names cannot be made sure of, the run fails; the files
    // the names lead to are both whole.
    placed = platform::flushFolders(foldersOf(index, data));
  }
  return placed;
}

CatalogOutput::PreviousFile::PreviousFile(const std::string& target) : target_(target) {
  existed_ = exists(target);
  if (!existed_) return;
  link_ = platform::temporaryNameBeside(target);
  cleanup_ = platform::removeOnInterrupt(link_);
  if (!platform::makeHardLink(target, link_)) link_.clear();
}

CatalogOutput::PreviousFile::~PreviousFile() {
  if (!link_.empty()) platform::removeFile(link_);
  platform::forgetOnInterrupt(cleanup_);
}

void CatalogOutput::PreviousFile::putBack() {
  if (!link_.empty()) {
    if (platform::renameReplacing(link_, target_)) link_.clear();
  } else if (!existed_) {
    platform::removeFile(target_);
  }
}

void CatalogOutput::forgetCutBacks() {
  platform::forgetOnInterrupt(indexCutBack_);
  platform::forgetOnInterrupt(dataCutBack_);
  indexCutBack_ = dataCutBack_ = platform::noCleanup;
}

void CatalogOutput::abandon() {
  if (done_) return;
  done_ = true;
  if (flushAhead_) flushAhead_->finish();
  closeReader();
  if (appending_) {
    // Reopen what was closed so that both files can be cut back.
    if (indexFile_ == platform::noDescriptor) indexFile_ = platform::openForAppending(indexPath_);
    if (dataFile_ == platform::noDescriptor) dataFile_ = platform::openForAppending(dataPath_);
    if (indexFile_ != platform::noDescriptor) platform::truncateFile(indexFile_, indexSizeBefore_);
    if (dataFile_ != platform::noDescriptor) platform::truncateFile(dataFile_, dataSizeBefore_);
  }
  forgetCutBacks();
  if (indexFile_ != platform::noDescriptor) platform::closeDescriptor(indexFile_);
  if (dataFile_ != platform::noDescriptor) platform::closeDescriptor(dataFile_);
  indexFile_ = dataFile_ = platform::noDescriptor;
  // Files the append created are gone again, as they were before the run.
  if (createdIndex_) platform::removeFile(indexPath_);
  if (createdData_) platform::removeFile(dataPath_);
  for (Replacement* replacement : {&indexReplacement_, &dataReplacement_}) {
    if (!replacement->temporary.empty()) platform::removeFile(replacement->temporary);
    platform::forgetOnInterrupt(replacement->cleanup);
  }
}

}  // namespace catpack
