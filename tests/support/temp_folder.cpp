#include "support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/platform.h"
#include "support/platform_facts.h"

namespace fs = std::filesystem;

namespace catpack::testing {

namespace {

// Creates the folders of `relative` below `root` up to its last separator
// ("/" or the platform's), or through its end with `whole`, by their names
// as bytes, as the program names them.
void makeLevels(const std::string& root, const std::string& relative, bool whole) {
  const std::string separators = std::string("/") + platform::pathSeparator();
  for (std::size_t at = relative.find_first_of(separators); at != std::string::npos;
       at = relative.find_first_of(separators, at + 1)) {
    platform::makeFolder(root + native("/") + relative.substr(0, at));
  }
  if (whole) platform::makeFolder(root + native("/") + relative);
}

}  // namespace

TempFolder::TempFolder() {
  static std::mt19937 generator(std::random_device{}());
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const fs::path candidate = base / ("catpack-test-" + std::to_string(generator()));
    if (fs::create_directory(candidate)) path_ = candidate.string();
  }
  if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
  fs::permissions(path_, fs::perms::all);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Give back permissions a test took away, so that everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_symlink()) fs::permissions(it->path(), fs::perms::all, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string TempFolder::at(const std::string& relative) const { return path_ + native("/") + relative; }

void TempFolder::write(const std::string& relative, const std::string& bytes) const {
  makeLevels(path_, relative, false);
  std::ofstream out(at(relative), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + at(relative));
}

void TempFolder::write(const std::string& relative, const std::string& bytes,
                       std::int64_t time) const {
  write(relative, bytes);
  setModificationTime(relative, time);
}

void TempFolder::makeFolder(const std::string& relative) const { makeLevels(path_, relative, true); }

void TempFolder::link(const std::string& relative, const std::string& target) const {
  fs::create_symlink(target, at(relative));
}

void TempFolder::resize(const std::string& relative, std::uint64_t size) const {
  if (!resizeSparse(at(relative), size)) throw std::runtime_error("cannot resize " + relative);
}

std::string TempFolder::read(const std::string& relative) const {
  std::ifstream in(at(relative), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool TempFolder::exists(const std::string& relative) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(at(relative), ignored));
}

std::int64_t TempFolder::modificationTime(const std::string& relative) const {
  return modificationTimeOf(at(relative));
}

void TempFolder::setModificationTime(const std::string& relative, std::int64_t time) const {
  if (!setModificationTimeOf(at(relative), time)) {
    throw std::runtime_error("cannot set time of " + relative);
  }
}

std::string TempFolder::listing() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    std::string name = fs::relative(entry.path(), path_).generic_string();
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
