// Writes a FileIndex as files below an existing folder, each with its
// modification time. Nothing is removed; every file is replaced only by a
// complete one that is on the disk; names that would lead outside the
// folder are refused.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "folder/waiting_outputs.h"
#include "index/file_index.h"
#include "platform/platform.h"
#include "util/loading.h"

namespace catpack {

// Writes every entry but the deletion markers below `outPath`; false only
// when that folder can be neither listed nor created.
bool writeFolder(const FileIndex& index, const std::string& outPath);

// Writes single entries below one output folder, remembering the level
// folders it has already made sure of.
class FolderWriter {
 public:
  explicit FolderWriter(const std::string& outPath) : outPath_(outPath), waiting_(outPath) {}

  // Writes the entry's bytes to the file at its name, with its time; true
  // when the file was written completely. It is flushed to the disk and put
  // in place with others, by finish() at the latest; messages of entries
  // that follow it wait for that.
  bool writeEntryToFolder(const EntryView& entry);

  // Notes that the output folder was created by this run.
  void madeOutputFolder() { waiting_.noteNewName(platform::folderHolding(outPath_)); }

  // Flushes and puts in place every file written, then flushes the folders
  // that hold them, printing what failed.
  void finish() { waiting_.finish(); }

  // The files held open while this writer reads members from them.
  OpenFiles& heldFiles() { return held_; }

 private:
  // Creates the level folders of `name` (every "/" and "\\" separates two
  // levels, joined with the platform's separator) and a file that will replace the
  // one at `name`; nothing after the failure's message.
  std::optional<OutputFile> openTarget(const std::string& name);
  // Writes the entry to `file`, left open for flushing; false after the
  // failure's message.
  bool writeEntry(const EntryView& entry, std::optional<OutputFile>& file);
  bool makeLevelFolders(const std::string& convertedName);
  // Whether the bytes of the folder file `entry` may come from a file that
  // a waiting one is to replace: one in a folder that receives output.
  bool readsFromOutput(const EntryView& entry);
  // Counts a file about to be written with interruptions held back, and
  // lets them through first when enough bytes or files have gone by.
  void countHeldBack(std::int32_t size);

  std::string outPath_;
  const char separator_ = platform::pathSeparator();
  std::unordered_set<std::string> knownFolders_;
  // The folders that existed before and receive output (the output folder
  // first, once it is known), and whether each folder read from is one.
  std::vector<platform::FolderIdentity> receivingFolders_;
  std::unordered_map<std::string, bool> sourceFolders_;
  OpenFiles held_;
  WaitingOutputs waiting_;
  // Interruptions are held back across the creation of new targets, so that
  // each is registered for removal before an interruption can end the run;
  // they are let through again every few files and before a big file's bytes.
  std::optional<platform::InterruptDeferral> heldBack_;
  std::uint64_t bytesHeldBack_ = 0;
  unsigned filesHeldBack_ = 0;
};

// Whether writing `name` below the output folder would stay inside it.
bool staysInsideFolder(const std::string& name);

}  // namespace catpack
