// The two files a catalog is written to: either fresh temporary files that
// replace the catalog when complete, or the existing files opened for
// appending and cut back when the run fails.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace catpack {

class CatalogOutput {
 public:
  explicit CatalogOutput(const std::string& base) : base_(base) {}
  ~CatalogOutput();
  CatalogOutput(const CatalogOutput&) = delete;
  CatalogOutput& operator=(const CatalogOutput&) = delete;

  // Opens both files; false when either cannot be opened or created.
  bool openNew();
  bool openForAppending();

  // Adds member bytes to the data file and a line to the index file.
  bool writeData(const unsigned char* bytes, std::uint32_t length);
  bool writeIndex(const std::string& line);

  // Bytes this run has added to the data file so far.
  std::uint64_t dataSize() const { return dataWritten_; }

  // Drops the data bytes added after the first `size` of this run.
  bool cutDataBack(std::uint64_t size);

  // Completes the catalog: closes both files and, for a new catalog, puts
  // them in place. On false the catalog is as it was before.
  bool commit();

  // Undoes everything written, once; also done when the object goes away
  // uncommitted.
  void abandon();

 private:
  bool flushIndex();

  std::string base_;
  bool appending_ = false;
  bool done_ = false;
  platform::Descriptor indexFile_ = platform::noDescriptor;
  platform::Descriptor dataFile_ = platform::noDescriptor;
  std::string indexTemporary_;
  std::string dataTemporary_;
  std::uint64_t indexSizeBefore_ = 0;
  std::uint64_t dataSizeBefore_ = 0;
  std::uint64_t dataWritten_ = 0;
  std::string pendingIndex_;
};

}  // namespace catpack
