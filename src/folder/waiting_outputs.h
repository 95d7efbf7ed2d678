// Files of a folder output that are written but not yet on the disk. They
// are flushed in batches, each on a helper thread while the next one is
// written, and then put in place there in the order they were written. Messages
// of the entries written meanwhile wait with them, so that every message
// keeps its place in the order of events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "folder/output_file.h"
#include "util/workers.h"

namespace catpack {

class WaitingOutputs {
 public:
  explicit WaitingOutputs(const std::string& outPath) : outPath_(outPath) {}
  // Waits for a flush still running; files not put in place are removed.
  ~WaitingOutputs();
  WaitingOutputs(const WaitingOutputs&) = delete;
  WaitingOutputs& operator=(const WaitingOutputs&) = delete;

  // Whether the messages of the next entry must wait: files written before
  // it are not in place yet.
  bool holdsMessages() const { return !current_.entries.empty() || flushing_ != nullptr; }

  // Adds the entry `name` with the `messages` it held back and the `file`
  // of `size` bytes it wrote, if any, in the folder `folder` (as FileJob
  // has it).
  void add(const std::string& name, std::string messages, std::optional<OutputFile> file,
           std::uint64_t size, std::uint64_t folder);

  // Notes that a name was made in `folder` (a level folder created in it),
  // so that the folder is flushed with the next batch.
  void noteNewName(const std::string& folder);

  // Flushes and places every waiting file.
  void placeAll();

  // Places every waiting file, then flushes the folders of all the names
  // this run made.
  void finish();

 private:
  // One entry and what it left to do.
  struct Entry {
    std::string name;
    std::string messages;
    std::optional<OutputFile> file;
    std::uint64_t folder;
  };
  // Files flushed together, with the folders of names made before them.
  struct Batch {
    std::vector<Entry> entries;
    std::vector<std::string> folders;
    std::vector<std::string> renamedBefore;  // names whose folders this batch flushes
    std::size_t fileCount = 0;
    std::size_t replacingCount = 0;  // files that replace others
    bool foldersKnown = true;        // every file's folder was told apart
    std::uint64_t bytes = 0;
    std::vector<platform::Descriptor> files;
    std::unique_ptr<bool[]> flushed;  // each file's flush, then whether it was put in place
    bool foldersFlushed = false;
  };

  // Hands the current batch to a helper thread, after placing the one it
  // flushed before.
  void startFlush();
  // Flushes the batch's files and puts them in place, on the helper thread.
  static void flushAndPlace(Batch& batch);
  // Puts the batch's flushed files in place, those whose folder falls to
  // `lane` of `lanes`, in the order they were written.
  static void placeLane(Batch& batch, std::uint64_t lane, std::uint64_t lanes);
  // Waits for the batch being flushed and placed, and reports it.
  void placeFlushed();
  // Prints the failure of the file written for `name`.
  void reportFailure(const std::string& name) const;
  // Adds `folder` to `folders` unless it is there already.
  static void addFolder(std::vector<std::string>& folders, const std::string& folder);

  std::string outPath_;
  Batch current_;
  std::unique_ptr<Batch> flushing_;
  std::optional<HelperThreads> flusher_;
  // Names renamed into place by the last batch placed: the next flush
  // takes their folders to the disk.
  std::vector<std::string> renamedNames_;
  std::vector<std::string> renamedFolders_;
};

}  // namespace catpack
