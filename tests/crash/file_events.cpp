#include "crash/file_events.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace fs = std::filesystem;

namespace catpack::crash {

namespace {

using Subtree = std::vector<std::pair<std::string, Node>>;  // by path below its top ("" for the top)

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// Takes `path` and everything below it out of `names`.
Subtree takeSubtree(Names& names, const std::string& path) {
  Subtree taken;
  if (const auto top = names.find(path); top != names.end()) {
    taken.emplace_back("", top->second);
    names.erase(top);
  }
  const std::string below = path + "/";
  for (auto it = names.lower_bound(below); it != names.end() && it->first.starts_with(below);) {
    taken.emplace_back(it->first.substr(path.size()), it->second);
    it = names.erase(it);
  }
  return taken;
}

void putSubtree(Names& names, const std::string& path, const Subtree& subtree) {
  for (const auto& [below, node] : subtree) names[path + below] = node;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool writes(const std::string& flags) {
  return hasFlag(flags, "O_WRONLY") || hasFlag(flags, "O_RDWR");
}

}  // namespace

bool changesNames(const FileEvent& event) {
  using Kind = FileEvent::Kind;
  switch (event.kind) {
    case Kind::create:
    case Kind::makeFolder:
    case Kind::rename:
    case Kind::exchange:
    case Kind::link:
    case Kind::remove:
    case Kind::removeFolder:
    case Kind::truncate:
      return true;
    default:
      return false;
  }
}

std::vector<std::string> foldersChangedBy(const FileEvent& event) {
  using Kind = FileEvent::Kind;
  switch (event.kind) {
    case Kind::create:
    case Kind::makeFolder:
    case Kind::remove:
    case Kind::removeFolder:
      return {parentOf(event.path)};
    case Kind::rename:
    case Kind::exchange:
    case Kind::link:
      return {parentOf(event.path), parentOf(event.target)};
    default:
      return {};
  }
}

void applyToNames(Names& names, const FileEvent& event) {
  using Kind = FileEvent::Kind;
  switch (event.kind) {
    case Kind::create:
      names[event.path] = Node{false, event.file};
      break;
    case Kind::makeFolder:
      names[event.path] = Node{true, 0};
      break;
    case Kind::link:
      names[event.target] = names.at(event.path);
      break;
    case Kind::remove:
    case Kind::removeFolder:
      names.erase(event.path);
      break;
    case Kind::rename: {
      const auto from = names.find(event.path);
      const auto to = names.find(event.target);
      // Two names of one file: the rename does nothing.
      if (from != names.end() && to != names.end() && !from->second.isFolder && !to->second.isFolder &&
          from->second.file == to->second.file) {
        break;
      }
      const Subtree moved = takeSubtree(names, event.path);
      takeSubtree(names, event.target);
      putSubtree(names, event.target, moved);
      break;
    }
    case Kind::exchange: {
      const Subtree one = takeSubtree(names, event.path);
      const Subtree other = takeSubtree(names, event.target);
      putSubtree(names, event.target, one);
      putSubtree(names, event.path, other);
      break;
    }
    default:
      break;
  }
}

void applyToBytes(std::string& bytes, const FileEvent& event) {
  if (event.kind == FileEvent::Kind::truncate) {
    bytes.resize(event.offset);
  } else if (event.kind == FileEvent::Kind::write) {
    bytes.resize(std::max<std::size_t>(bytes.size(), event.offset + event.bytes.size()));
    std::copy(event.bytes.begin(), event.bytes.end(),
              bytes.begin() + static_cast<std::ptrdiff_t>(event.offset));
  }
}

FileHistory::FileHistory(const std::string& root) : root_(fs::canonical(root).string()) {
  initialNames_[""] = Node{true, 0};
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    const std::string relative = entry.path().lexically_relative(root_).generic_string();
    if (entry.is_symlink()) throw std::runtime_error("the model follows no symbolic links: " + relative);
    if (entry.is_directory()) {
      initialNames_[relative] = Node{true, 0};
    } else if (entry.is_regular_file() && entry.hard_link_count() == 1) {
      initialNames_[relative] = Node{false, nextFile_};
      initialBytes_[nextFile_++] = readFile(entry.path());
    } else {
      throw std::runtime_error("the model holds only folders and files of one name: " + relative);
    }
  }
  names_ = initialNames_;
  bytes_ = initialBytes_;
}

void FileHistory::follow(const std::vector<SystemCall>& calls) {
  for (const SystemCall& call : calls) follow(call);
}

void FileHistory::follow(const SystemCall& call) {
  const std::vector<std::string>& a = call.arguments;
  const std::string& name = call.name;
  // For the calls whose first argument is a descriptor.
  const int descriptor = a.empty() ? -1 : static_cast<int>(numberOf(a[0]));
  const int result = static_cast<int>(call.result);
  if (name == "close") {
    descriptors_.erase(descriptor);  // gone even when the close reports an error
    return;
  }
  if (call.result < 0) return;  // a failed call changes nothing
  std::string relative;
  if (name == "open") {
    opened("", a[0], a[1], result);
  } else if (name == "openat") {
    opened(a[0], a[1], a[2], result);
  } else if (name == "creat") {
    opened("", a[0], "O_WRONLY|O_CREAT|O_TRUNC", result);
  } else if (name == "dup" || name == "dup2" || name == "dup3" ||
             (name == "fcntl" && (a[1] == "F_DUPFD" || a[1] == "F_DUPFD_CLOEXEC"))) {
    const auto original = descriptors_.find(descriptor);
    if (original == descriptors_.end()) {
      descriptors_.erase(result);
    } else {
      descriptors_[result] = original->second;
    }
  } else if (name == "fcntl") {
    if (OpenFile* open = insideOpen(descriptor); open != nullptr && a[1] == "F_SETFL") {
      open->append = hasFlag(a[2], "O_APPEND");
    }
  } else if (name == "write") {
    wrote(descriptor, bytesOf(a[1]).substr(0, call.result), -1);
  } else if (name == "pwrite64") {
    wrote(descriptor, bytesOf(a[1]).substr(0, call.result), numberOf(a[3]));
  } else if (name == "writev") {
    wrote(descriptor, bytesOfVector(a[1]).substr(0, call.result), -1);
  } else if (name == "pwritev") {
    wrote(descriptor, bytesOfVector(a[1]).substr(0, call.result), numberOf(a[3]));
  } else if (name == "lseek") {
    if (OpenFile* open = insideOpen(descriptor); open != nullptr) open->position = call.result;
  } else if (name == "ftruncate") {
    if (OpenFile* open = insideOpen(descriptor); open != nullptr) {
      record({.kind = FileEvent::Kind::truncate,
              .file = open->file,
              .offset = static_cast<std::uint64_t>(numberOf(a[1]))});
    }
  } else if (name == "truncate") {
    if (resolve("", a[0], relative)) {
      record({.kind = FileEvent::Kind::truncate,
              .file = fileAt(relative),
              .offset = static_cast<std::uint64_t>(numberOf(a[1]))});
    }
  } else if (name == "rename") {
    renamed("", a[0], "", a[1], FileEvent::Kind::rename);
  } else if (name == "renameat") {
    renamed(a[0], a[1], a[2], a[3], FileEvent::Kind::rename);
  } else if (name == "renameat2") {
    renamed(a[0], a[1], a[2], a[3],
            hasFlag(a[4], "RENAME_EXCHANGE") ? FileEvent::Kind::exchange : FileEvent::Kind::rename);
  } else if (name == "link") {
    renamed("", a[0], "", a[1], FileEvent::Kind::link);
  } else if (name == "linkat") {
    if (hasFlag(a[4], "AT_EMPTY_PATH")) throw std::runtime_error("the model links no descriptors");
    renamed(a[0], a[1], a[2], a[3], FileEvent::Kind::link);
  } else if (name == "unlink") {
    removed("", a[0], false);
  } else if (name == "unlinkat") {
    removed(a[0], a[1], hasFlag(a[2], "AT_REMOVEDIR"));
  } else if (name == "mkdir" || name == "mkdirat") {
    if (name == "mkdir" ? resolve("", a[0], relative) : resolve(a[0], a[1], relative)) {
      record({.kind = FileEvent::Kind::makeFolder, .path = relative});
    }
  } else if (name == "fsync" || name == "fdatasync") {
    flushed(descriptor);
  } else if (name == "syncfs") {
    record({.kind = FileEvent::Kind::flushAll});
  } else {
    throw std::runtime_error("the model does not know the call " + name);
  }
}

bool FileHistory::resolve(const std::string& from, const std::string& path, std::string& relative) const {
  const std::string name = bytesOf(path);
  std::string folder = annotatedPath(from);
  if (folder.empty()) {
    if (!from.empty() && from != "AT_FDCWD") throw std::runtime_error("no path for the folder " + from);
    folder = root_;  // the run's working folder
  }
  std::string normal =
      (name.starts_with("/") ? fs::path(name) : fs::path(folder) / name).lexically_normal().generic_string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  if (normal == root_) {
    relative.clear();
    return true;
  }
  if (!normal.starts_with(root_ + "/")) return false;
  relative = normal.substr(root_.size() + 1);
  return true;
}

void FileHistory::opened(const std::string& from, const std::string& path, const std::string& flags,
                         int descriptor) {
  auto open = std::make_shared<OpenFile>();
  std::string relative;
  if (resolve(from, path, relative)) {
    open->inside = true;
    open->append = hasFlag(flags, "O_APPEND");
    const auto found = names_.find(relative);
    if (found != names_.end() && found->second.isFolder) {
      open->isFolder = true;
      open->folder = relative;
    } else if (found != names_.end()) {
      open->file = found->second.file;
      if (hasFlag(flags, "O_TRUNC") && writes(flags)) {
        record({.kind = FileEvent::Kind::truncate, .file = open->file, .offset = 0});
      }
    } else if (hasFlag(flags, "O_CREAT")) {
      open->file = nextFile_++;
      record({.kind = FileEvent::Kind::create, .path = relative, .file = open->file});
    } else {
      throw std::runtime_error("the run opened " + relative + ", which the model does not hold");
    }
  }
  descriptors_[descriptor] = open;
}

void FileHistory::wrote(int descriptor, const std::string& bytes, std::int64_t offset) {
  OpenFile* open = insideOpen(descriptor);
  if (open == nullptr || bytes.empty()) return;
  if (open->isFolder) throw std::runtime_error("the run wrote to the folder " + open->folder);
  // On Linux a positioned write to an O_APPEND descriptor appends too.
  const std::uint64_t at = open->append  ? bytes_[open->file].size()
                           : offset >= 0 ? static_cast<std::uint64_t>(offset)
                                         : open->position;
  if (offset < 0) open->position = at + bytes.size();
  record({.kind = FileEvent::Kind::write, .file = open->file, .offset = at, .bytes = bytes});
}

void FileHistory::renamed(const std::string& fromFolder, const std::string& from, const std::string& toFolder,
                          const std::string& to, FileEvent::Kind kind) {
  std::string source;
  std::string target;
  const bool sourceInside = resolve(fromFolder, from, source);
  const bool targetInside = resolve(toFolder, to, target);
  if (!sourceInside && !targetInside) return;
  if (sourceInside != targetInside)
    throw std::runtime_error("a name moved across the root: " + source + target);
  if (names_.count(source) == 0)
    throw std::runtime_error("the run moved " + source + ", which the model does not hold");
  record({.kind = kind, .path = source, .target = target});
}

void FileHistory::removed(const std::string& folder, const std::string& path, bool isFolder) {
  std::string relative;
  if (!resolve(folder, path, relative)) return;
  if (names_.count(relative) == 0)
    throw std::runtime_error("the run removed " + relative + ", which the model does not hold");
  record({.kind = isFolder ? FileEvent::Kind::removeFolder : FileEvent::Kind::remove, .path = relative});
}

void FileHistory::flushed(int descriptor) {
  const OpenFile* open = insideOpen(descriptor);
  if (open == nullptr) return;
  if (open->isFolder) {
    record({.kind = FileEvent::Kind::flushFolder, .path = open->folder});
  } else {
    record({.kind = FileEvent::Kind::flushFile, .file = open->file});
  }
}

std::uint64_t FileHistory::fileAt(const std::string& relative) const {
  const auto found = names_.find(relative);
  if (found == names_.end() || found->second.isFolder)
    throw std::runtime_error("no file is named " + relative);
  return found->second.file;
}

FileHistory::OpenFile* FileHistory::insideOpen(int descriptor) const {
  const auto found = descriptors_.find(descriptor);
  return found == descriptors_.end() || !found->second->inside ? nullptr : found->second.get();
}

void FileHistory::record(FileEvent event) {
  applyToNames(names_, event);
  if (event.file != 0) applyToBytes(bytes_[event.file], event);
  events_.push_back(std::move(event));
}

}  // namespace catpack::crash
