// Writes a FileIndex as files below an existing folder, each with its
// modification time. Nothing is removed; every file is replaced only by a
// complete one that is on the disk; names that would lead outside the
// folder are refused.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "folder/file_job.h"
#include "folder/waiting_outputs.h"
#include "folder/writing_threads.h"
#include "index/file_index.h"
#include "platform/platform.h"
#include "util/loading.h"

namespace catpack {

// Writes every entry but the deletion markers below `outPath`; false only
// when that folder can be neither listed nor created.
bool writeFolder(const FileIndex& index, const std::string& outPath);

// Writes single entries below one output folder, remembering the level
// folders it has already made sure of. Each entry's checks, its source and
// its level folders are seen to on the calling thread; its file is written
// by the writing threads.
class FolderWriter {
 public:
  explicit FolderWriter(const std::string& outPath)
      : outPath_(outPath), waiting_(outPath), writing_(outPath) {}

  // Writes the entry's bytes to the file at its name, with its time. The
  // file is flushed to the disk and put in place with others, by finish()
  // at the latest; messages of entries that follow it wait for that.
  void writeEntryToFolder(const EntryView& entry);

  // Notes that the output folder was created by this run.
  void madeOutputFolder();

  // Flushes and puts in place every file written, then flushes the folders
  // that hold them, printing what failed.
  void finish();

  // The files held open while this writer reads members from them.
  OpenFiles& heldFiles() { return held_; }

 private:
  // What the writer knows of one folder that receives files.
  struct TargetFolder {
    // Files whose folders have the same order have their targets opened
    // in turn; 0 for a folder that cannot be told apart from others.
    std::uint64_t order = 0;
    // The names a listing showed, in a folder that was there before.
    std::unordered_set<std::string> listed;
  };

  // Fills in the job of the entry up to its target, and the order of its
  // folder where it can be told apart; false after the failure's message,
  // when there is nothing to write.
  bool prepareJob(const EntryView& entry, FileJob& job, std::optional<std::uint64_t>& order);
  // Creates the level folders of `convertedName` (every "/" and "\\"
  // separates two levels, joined with the platform's separator); false
  // after the failure's message.
  bool makeLevelFolders(const std::string& convertedName);
  // What is known of the folder `folderPath`, looked at when first asked.
  const TargetFolder& targetFolder(const std::string& folderPath);
  // Whether the bytes of the folder file `entry` may come from a file that
  // a waiting one is to replace: one in a folder that receives output.
  bool readsFromOutput(const EntryView& entry);
  // Hands the files the writing threads are done with to the waiting ones,
  // in order; all of them with `all`, else those done already and, when
  // no more may be given, the first.
  void passOnWritten(bool all);

  std::string outPath_;
  const char separator_ = platform::pathSeparator();
  std::unordered_set<std::string> knownFolders_;
  // The folders that receive files, by path, the order given to each
  // folder by its identity, and the folders this run made, which hold
  // nothing but what it writes. Once a folder could not be told apart,
  // every target is opened in turn.
  std::unordered_map<std::string, TargetFolder> targetFolders_;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::uint64_t> folderOrders_;
  std::unordered_set<std::string> madeFolders_;
  bool inOneOrder_ = false;
  // The folders that existed before and receive output (the output folder
  // first, once it is known), and whether each folder read from is one.
  std::vector<platform::FolderIdentity> receivingFolders_;
  std::unordered_map<std::string, bool> sourceFolders_;
  OpenFiles held_;
  WaitingOutputs waiting_;
  WritingThreads writing_;
};

// Whether writing `name` below the output folder would stay inside it.
bool staysInsideFolder(const std::string& name);

}  // namespace catpack
