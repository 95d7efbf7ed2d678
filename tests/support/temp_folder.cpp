#include "support/temp_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace catpack::testing {

TempFolder::TempFolder() {
  std::string pattern = (fs::temp_directory_path() / "catpack-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  ::chmod(pattern.c_str(), 0777);
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Give back permissions a test took away, so that everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink()) ::chmod(it->path().c_str(), 0777);
  }
  fs::remove_all(path_, ignored);
}

void TempFolder::write(const std::string& relative, const std::string& bytes) const {
  const fs::path file = at(relative);
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void TempFolder::write(const std::string& relative, const std::string& bytes,
                       std::int64_t time) const {
  write(relative, bytes);
  setModificationTime(relative, time);
}

void TempFolder::makeFolder(const std::string& relative) const { fs::create_directories(at(relative)); }

void TempFolder::link(const std::string& relative, const std::string& target) const {
  fs::create_symlink(target, at(relative));
}

std::string TempFolder::read(const std::string& relative) const {
  std::ifstream in(at(relative), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool TempFolder::exists(const std::string& relative) const {
  struct stat info {};
  return ::lstat(at(relative).c_str(), &info) == 0;
}

std::int64_t TempFolder::modificationTime(const std::string& relative) const {
  struct stat info {};
  if (::stat(at(relative).c_str(), &info) != 0) return -1;
  return info.st_mtime;
}

void TempFolder::setModificationTime(const std::string& relative, std::int64_t time) const {
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time);
  if (::utimensat(AT_FDCWD, at(relative).c_str(), times, 0) != 0) {
    throw std::runtime_error("cannot set time of " + relative);
  }
}

std::string TempFolder::listing() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    std::string name = fs::relative(entry.path(), path_).string();
    if (entry.is_directory() && !entry.is_symlink()) name += "/";
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

std::string TempFolder::hiddenEntries() const {
  // Also called while a run creates and removes files: what vanishes
  // meanwhile is passed over.
  std::string hidden;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->path().filename().string().front() == '.') {
      hidden += it->path().lexically_relative(path_).string() + "\n";
    }
  }
  return hidden;
}

std::string randomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
  return bytes;
}

}  // namespace catpack::testing
