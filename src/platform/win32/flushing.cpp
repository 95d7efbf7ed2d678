// Flushing files and folders to the disk on Windows.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"

namespace catpack::platform {

bool flushFile(Descriptor file) { return ::FlushFileBuffers(win32::handleOf(file)) != 0; }

bool flushFileBytes(Descriptor file) { return flushFile(file); }

bool flushFolders(const std::vector<std::string>&) {
  // Names reach the disk with what changes them: renames are written
  // through, and a flushed file takes its own entry in its folder along.
  return true;
}

bool flushTogether(const Descriptor* files, std::size_t count, bool* flushed,
                   const std::vector<std::string>& folders) {
  for (std::size_t at = 0; at < count; ++at) flushed[at] = flushFile(files[at]);
  return flushFolders(folders);
}

std::size_t openFileLimit() {
  // The runtime library's descriptors, which every open file takes one of.
  return 2048;
}

void startWriteBack(Descriptor, std::uint64_t, std::uint64_t) {
  // The system starts writing back on its own; a flush waits for the rest.
}

std::string folderHolding(const std::string& path) {
  const std::size_t separator = path.find_last_of("\\/:");
  if (separator == std::string::npos) return ".";
  // A drive's own folder ("C:", "\\") keeps its separator.
  const bool keepsSeparator = path[separator] == ':' || separator == 0;
  return path.substr(0, keepsSeparator ? separator + 1 : separator);
}

}  // namespace catpack::platform
