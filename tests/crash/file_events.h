// What a traced run did to one folder tree (the root), as events in program
// order: files are known by an identity given when they are created, so that
// renames and links move names, not contents, and every descriptor keeps its
// own position. Calls on paths outside the root are passed over.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crash/tracer.h"

namespace catpack::crash {

// What a name below the root leads to: a folder, or a file by its identity.
struct Node {
  bool isFolder = false;
  std::uint64_t file = 0;  // the identity, for a file
};

// The names below the root by relative path ("a/b"), "" for the root itself.
using Names = std::map<std::string, Node>;

// One change to the names or to a file's bytes, or a flush.
struct FileEvent {
  enum class Kind {
    create,        // `path` now names `file`, new and empty
    makeFolder,    // `path` now names a new, empty folder
    rename,        // what `path` named (and all below it) moves to `target`
    exchange,      // `path` and `target` swap what they name
    link,          // `target` now names `path`'s file too
    remove,        // the name `path` of a file is gone
    removeFolder,  // the empty folder `path` is gone
    truncate,      // `file` is now `offset` bytes long
    write,         // `bytes` go into `file` from `offset` on
    flushFile,     // fsync or fdatasync of `file`
    flushFolder,   // fsync or fdatasync of the folder `path`
    flushAll,      // syncfs
  };
  Kind kind = Kind::write;
  std::string path{};
  std::string target{};
  std::uint64_t file = 0;
  std::uint64_t offset = 0;
  std::string bytes{};
};

// Whether `event` changes names or a file's size: the kinds that persist in
// program order.
bool changesNames(const FileEvent& event);

// The folders whose entries `event` changes (none for a truncate).
std::vector<std::string> foldersChangedBy(const FileEvent& event);

// Applies a name change to `names`; other events leave them alone.
void applyToNames(Names& names, const FileEvent& event);

// Applies a write or a truncate of a file to its `bytes`.
void applyToBytes(std::string& bytes, const FileEvent& event);

// The tree below a root before a run, and the events of the run in it.
class FileHistory {
 public:
  // Starts from the tree below `root` as it is now. Throws for what the
  // model does not follow: symbolic links, files with several names.
  explicit FileHistory(const std::string& root);

  // Turns the calls of a run made with `root` as working folder into events.
  // Throws when a call does not fit the tree as the events so far left it.
  void follow(const std::vector<SystemCall>& calls);

  const Names& initialNames() const { return initialNames_; }
  // The bytes of every file the tree held before the run, by identity.
  const std::map<std::uint64_t, std::string>& initialBytes() const { return initialBytes_; }
  const std::vector<FileEvent>& events() const { return events_; }

 private:
  // What an open descriptor refers to, shared by its duplicates.
  struct OpenFile {
    bool inside = false;  // a file or folder below the root
    bool isFolder = false;
    std::uint64_t file = 0;
    std::string folder;  // the folder's relative path
    std::uint64_t position = 0;
    bool append = false;  // O_APPEND: every write goes to the end
  };

  void follow(const SystemCall& call);
  // The relative path that `path` (an escaped string argument) names, taken
  // from the folder of the descriptor argument `from` ("" for the working
  // folder); false when it lies outside the root.
  bool resolve(const std::string& from, const std::string& path, std::string& relative) const;
  void opened(const std::string& from, const std::string& path, const std::string& flags, int descriptor);
  void wrote(int descriptor, const std::string& bytes, std::int64_t offset);
  void renamed(const std::string& fromFolder, const std::string& from, const std::string& toFolder,
               const std::string& to, FileEvent::Kind kind);
  void removed(const std::string& folder, const std::string& path, bool isFolder);
  void flushed(int descriptor);
  // The file that `relative` names; throws when it names none.
  std::uint64_t fileAt(const std::string& relative) const;
  // The open file of `descriptor` when it lies below the root, else null.
  OpenFile* insideOpen(int descriptor) const;
  void record(FileEvent event);

  std::string root_;  // canonical, without a trailing "/"
  Names initialNames_;
  std::map<std::uint64_t, std::string> initialBytes_;
  Names names_;                                 // as the events so far left them
  std::map<std::uint64_t, std::string> bytes_;  // likewise
  // One table for the whole process: its threads share their descriptors.
  std::map<int, std::shared_ptr<OpenFile>> descriptors_;
  std::uint64_t nextFile_ = 1;
  std::vector<FileEvent> events_;
};

}  // namespace catpack::crash
