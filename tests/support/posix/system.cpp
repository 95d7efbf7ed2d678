// The test facts of POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "support/external_tools.h"
#include "support/platform_facts.h"

namespace catpack::testing {

std::string console(const std::string& text) { return text; }

bool hasPosixFileSystem() { return true; }

bool slashAlwaysBeginsASwitch() { return false; }

std::string md5sumOf(const std::string& path) {
  const std::string command = "md5sum '" + path + "'";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run md5sum");
  char digest[33] = {};
  const std::size_t got = std::fread(digest, 1, 32, pipe);
  ::pclose(pipe);
  if (got != 32) throw std::runtime_error("md5sum gave no digest for " + path);
  return digest;
}

std::int64_t modificationTimeOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return info.st_mtime;
}

bool setModificationTimeOf(const std::string& path, std::int64_t time) {
  struct timespec times[2] {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time);
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool resizeSparse(const std::string& path, std::uint64_t size) {
  return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

}  // namespace catpack::testing
