// A fresh folder for one test, removed with everything in it afterwards,
// with helpers to lay out files, times and links inside it.
#pragma once

#include <cstdint>
#include <string>

namespace catpack::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // The full path of `relative`, joined to the folder as the program joins
  // full paths.
  std::string at(const std::string& relative) const;

  // Writes `bytes` to `relative`, creating the folders on the way.
  void write(const std::string& relative, const std::string& bytes) const;
  // Same, then sets the file's modification time.
  void write(const std::string& relative, const std::string& bytes, std::int64_t time) const;
  void makeFolder(const std::string& relative) const;
  void link(const std::string& relative, const std::string& target) const;
  // Makes the file `size` bytes long, sparse where the file system allows.
  void resize(const std::string& relative, std::uint64_t size) const;

  std::string read(const std::string& relative) const;
  bool exists(const std::string& relative) const;
  std::int64_t modificationTime(const std::string& relative) const;
  void setModificationTime(const std::string& relative, std::int64_t time) const;
  // Names of all entries below the folder, sorted, "/" between levels.
  std::string listing() const;
  // The lines of listing() whose last level begins with a dot: what a
  // temporary file left behind would look like.
  std::string hiddenEntries() const;

 private:
  std::string path_;
};

// `count` bytes of a repeatable pseudo-random sequence.
std::string randomBytes(std::size_t count, std::uint32_t seed);

}  // namespace catpack::testing
