// The two files a catalog is written to: either fresh temporary files that
// replace the catalog when complete, or the existing files opened for
// appending and cut back when the run fails or is interrupted. The files a
// catalog's paths lead to through symbolic links are the ones written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "util/flush_ahead.h"
#include "util/loading.h"

namespace catpack {

class CatalogOutput {
 public:
  explicit CatalogOutput(const std::string& base);
  ~CatalogOutput();
  CatalogOutput(const CatalogOutput&) = delete;
  CatalogOutput& operator=(const CatalogOutput&) = delete;

  // Waits until no other run writes this catalog, and keeps it so until
  // this object goes away; false when the lock cannot be had.
  bool lock();

  // Opens both files; false when either cannot be opened or created, or
  // when an existing one may not be written (nothing is changed then).
  bool openNew();
  bool openForAppending();

  // Adds member bytes to the data file and a line to the index file.
  bool writeData(const unsigned char* bytes, std::uint32_t length);
  bool writeIndex(const std::string& line);

  // Adds up to `count` of `source`'s next bytes to the data file, copied by
  // the file system where it can; gives how many were added (the rest are
  // for writeData).
  std::uint32_t copyData(RangeReader& source, std::uint32_t count);

  // Starts writing every data byte added so far back to the disk, without
  // waiting for it, so that commit() finds little left to flush.
  void startWritingBack();

  // Bytes this run has added to the data file so far.
  std::uint64_t dataSize() const { return dataWritten_; }

  // Opens the data file a second time, for readData; false when it cannot
  // be read.
  bool openForReadingBack();

  // Reads `count` of the bytes this run added to the data file, from its
  // `at`th on; false when they could not all be read. Safe from any thread
  // while no other call is made; needs openForReadingBack.
  bool readData(std::uint64_t at, unsigned char* into, std::uint32_t count) const;

  // Drops the data bytes added after the first `size` of this run.
  bool cutDataBack(std::uint64_t size);

  // Completes the catalog: flushes both files to the disk and closes them
  // and, for a new catalog, puts them in place and flushes their folders.
  // On false the catalog is as it was before.
  bool commit();

  // Undoes everything written, once; also done when the object goes away
  // uncommitted.
  void abandon();

 private:
  // A temporary file that will replace `target`, made like it.
  struct Replacement {
    std::string target;  // the file to replace, links followed
    std::string temporary;
    platform::CleanupSlot cleanup = platform::noCleanup;
  };

  // A second name of the file a catalog file replaces, made while it lives
  // where the file system allows, so that the file can be put back.
  class PreviousFile {
   public:
    explicit PreviousFile(const std::string& target);
    ~PreviousFile();
    PreviousFile(const PreviousFile&) = delete;
    PreviousFile& operator=(const PreviousFile&) = delete;
    // Puts the previous file back at the target, or removes the target
    // where there was none.
    void putBack();

   private:
    std::string target_;
    std::string link_;  // empty where no second name could be made
    platform::CleanupSlot cleanup_ = platform::noCleanup;
    bool existed_ = false;
  };

  bool openReplacement(Replacement& replacement, platform::Descriptor& file);
  bool putInPlace();
  bool flushIndex();
  // After data bytes were added: starts their write-back, and a flush
  // ahead of the end, each once enough bytes wait for it.
  void keepDataMoving();
  void closeReader();
  void forgetCutBacks();

  std::string indexPath_;  // base + ".cat" and base + ".dat", as named
  std::string dataPath_;
  platform::WriterLockHandle lock_;
  bool appending_ = false;
  bool done_ = false;
  platform::Descriptor indexFile_ = platform::noDescriptor;
  platform::Descriptor dataFile_ = platform::noDescriptor;
  platform::Descriptor dataReader_ = platform::noDescriptor;
  Replacement indexReplacement_;
  Replacement dataReplacement_;
  platform::CleanupSlot indexCutBack_ = platform::noCleanup;
  platform::CleanupSlot dataCutBack_ = platform::noCleanup;
  bool createdIndex_ = false;  // made by the append, removed when it fails
  bool createdData_ = false;
  std::uint64_t indexSizeBefore_ = 0;
  std::uint64_t dataSizeBefore_ = 0;
  std::uint64_t dataWritten_ = 0;
  std::uint64_t writtenBack_ = 0;  // data bytes whose write-back was started
  std::uint64_t flushAskedAt_ = 0;  // data bytes when a flush ahead was last asked for
  std::optional<FlushAhead> flushAhead_;  // made at the first flush ahead
  std::uint64_t indexWritten_ = 0;  // index bytes of a new catalog written so far
  std::string pendingIndex_;
};

}  // namespace catpack
