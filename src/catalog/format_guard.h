// Keeps a written index from ever reading as the other format. The format
// is told from the first 1024 bytes alone, so each line is checked until
// those are complete: a crafted name cannot turn a current index into an
// old one, and a long first name cannot hide an old index's format.
#pragma once

#include <cstddef>
#include <string>

namespace catpack {

class FormatGuard {
 public:
  // Guards an index of the given format that already holds `length` bytes
  // (as stored) starting with `existing`.
  FormatGuard(bool oldFormat, const unsigned char* existing, std::size_t length);

  // Whether the index, with `stored` (bytes as written) added, still reads
  // as its own format.
  bool accepts(const std::string& stored) const;

  // Whether every line is accepted from now on: the index's first bytes,
  // which the format test sees, are complete, or already decide its format.
  bool settled() const;

  // Whether the index, with `storedStart` (the start of the next line, as
  // written) added, reads as its own format whatever follows; from then on
  // every line is accepted. Works out only for a current-format index.
  bool settlesWith(const std::string& storedStart);

  // Records that `stored` was added.
  void add(const std::string& stored);

 private:
  bool oldFormat_;
  bool decided_ = false;  // the format test already gives this format for any ending
  std::string head_;  // the index's first bytes, as many as the format test sees
};

}  // namespace catpack
