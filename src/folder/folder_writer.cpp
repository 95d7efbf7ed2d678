#include "folder/folder_writer.h"

#include <algorithm>

#include "folder/folder_listing.h"
#include "folder/output_file.h"
#include "index/entry_content.h"
#include "index/index_totals.h"
#include "util/console.h"
#include "util/progress.h"

namespace catpack {

namespace {

bool isSeparator(char byte) { return byte == '/' || byte == '\\'; }

// How long interruptions may be held back while small files are written.
constexpr std::uint64_t bytesToHoldBack = 4u << 20;
constexpr unsigned filesToHoldBack = 64;

void reportReadFailure(const EntryView& entry) {
  if (entry.inCatalog) {
    printErr("Failed reading file %s from %s.dat\n", entry.name.c_str(), entry.catalog.c_str());
  } else {
    printErr("Failed reading file %s from %s\n", entry.name.c_str(), entry.folder.c_str());
  }
}

}  // namespace

bool staysInsideFolder(const std::string& name) {
  if (name.empty() || isSeparator(name.front())) return false;
  if (platform::refusesColonInNames() && name.find(':') != std::string::npos) return false;
  std::size_t levelStart = 0;
  for (std::size_t at = 0; at <= name.size(); ++at) {
    if (at < name.size() && !isSeparator(name[at])) continue;
    if (at - levelStart == 2 && name.compare(levelStart, 2, "..") == 0) return false;
    levelStart = at + 1;
  }
  return true;
}

bool writeFolder(const FileIndex& index, const std::string& outPath) {
  bool created = false;
  if (!openFolderListing(outPath)) {
    created = platform::makeFolder(outPath);
    if (!openFolderListing(outPath)) {
      printErr("Could neither open an existing folder nor create a new one named '%s'\n",
               outPath.c_str());
      return false;
    }
  }
  FolderWriter writer(outPath);
  if (created) writer.madeOutputFolder();
  // Data files stay open for the whole write: a member may replace one of
  // them in the output folder while later members still need its bytes.
  holdCatalogDataOpen(index, writer.heldFiles());
  const ProgressPhase phase("Writing folder", index.size(), contentBytes(index));
  for (const auto& [key, entry] : index) {
    if (!isDeletionMarker(entry)) writer.writeEntryToFolder(entry);
    advance(1, 0);
  }
  writer.finish();
  return true;
}

bool FolderWriter::writeEntryToFolder(const EntryView& entry) {
  // A file read after the one that replaces it was written is read as it
  // would have been had that one been put in place at once.
  if (waiting_.holdsMessages() && !entry.inCatalog && entry.size != 0 && readsFromOutput(entry)) {
    waiting_.placeAll();
  }
  std::string heldMessages;
  std::optional<MessageCapture> capture;
  if (waiting_.holdsMessages()) capture.emplace(heldMessages);
  std::optional<OutputFile> file;
  const bool written = writeEntry(entry, file);
  capture.reset();
  waiting_.add(entry.name, std::move(heldMessages), std::move(file),
               static_cast<std::uint32_t>(entry.size));
  return written;
}

bool FolderWriter::writeEntry(const EntryView& entry, std::optional<OutputFile>& written) {
  if (!staysInsideFolder(entry.name)) {
    printErr("Refusing to write file %s outside folder %s\n", entry.name.c_str(), outPath_.c_str());
    return false;
  }
  // The source is opened first, so that a missing one touches nothing.
  std::optional<RangeReader> source;
  if (entry.size != 0) {
    source = openStoredBytes(entry, &held_);
    if (!source) {
      reportReadFailure(entry);
      return false;
    }
  }
  std::optional<OutputFile> file = openTarget(entry.name);
  countHeldBack(entry.size);
  StreamOutcome outcome = StreamOutcome::complete;
  if (file && source) {
    outcome = streamBytes(*source, entry.scrambled, [&](const unsigned char* bytes, std::uint32_t count) {
      advance(0, count);
      return file->write(bytes, count);
    });
  }
  if (outcome == StreamOutcome::readFailed) {
    reportReadFailure(entry);
    return false;
  }
  if (!file || outcome == StreamOutcome::sinkFailed) {
    printErr("Failed writing file %s to folder %s\n", entry.name.c_str(), outPath_.c_str());
    return false;
  }
  file->finish(entry.time);
  written.emplace(std::move(*file));
  return true;
}

std::optional<OutputFile> FolderWriter::openTarget(const std::string& name) {
  std::string converted = name;
  for (char& byte : converted) {
    if (isSeparator(byte)) byte = separator_;
  }
  if (!makeLevelFolders(converted)) return std::nullopt;
  const std::string targetPath = outPath_ + separator_ + converted;
  // Most targets do not exist yet: they are created and written in place,
  // which spares the look at the target and the rename.
  if (!heldBack_) heldBack_.emplace();
  OutputFile created(targetPath, OutputFile::NewTarget{});
  if (created.opened()) return created;
  platform::PathStatus existing;
  const bool exists = platform::queryLinkStatus(targetPath, existing);
  // A symbolic link is replaced by the file itself: nothing is written
  // through it to wherever it leads.
  if (!exists || existing.isLink ||
      (!existing.isFolder && platform::isWritable(targetPath))) {
    OutputFile file(targetPath, exists && !existing.isLink ? &existing.permissions : nullptr);
    if (file.opened()) return file;
  }
  printErr("Failed to open file '%s' for writing\n", targetPath.c_str());
  return std::nullopt;
}

bool FolderWriter::readsFromOutput(const EntryView& entry) {
  if (receivingFolders_.empty()) {
    platform::FolderIdentity output;
    if (platform::identifyFolder(outPath_, output)) receivingFolders_.push_back(output);
  }
  const std::string folder = platform::folderHolding(memberSourcePath(entry));
  const auto known = sourceFolders_.find(folder);
  if (known != sourceFolders_.end()) return known->second;
  // A folder that cannot be told apart may be one that receives output.
  platform::FolderIdentity identity;
  const bool receives =
      !platform::identifyFolder(folder, identity) ||
      std::find(receivingFolders_.begin(), receivingFolders_.end(), identity) != receivingFolders_.end();
  sourceFolders_.emplace(folder, receives);
  return receives;
}

void FolderWriter::countHeldBack(std::int32_t size) {
  if (!heldBack_) return;
  bytesHeldBack_ += static_cast<std::uint32_t>(size);
  if (bytesHeldBack_ < bytesToHoldBack && ++filesHeldBack_ < filesToHoldBack) return;
  heldBack_.reset();
  bytesHeldBack_ = 0;
  filesHeldBack_ = 0;
}

bool FolderWriter::makeLevelFolders(const std::string& convertedName) {
  for (std::size_t at = convertedName.find(separator_); at != std::string::npos;
       at = convertedName.find(separator_, at + 1)) {
    std::string level = outPath_ + separator_ + convertedName.substr(0, at);
    if (knownFolders_.count(level) != 0) continue;
    // A level just created is known to be a folder; one that could not be
    // created must be one that can be listed.
    const bool made = platform::makeFolder(level);
    if (!made && !openFolderListing(level)) {
      printErr("Could neither open an existing subfolder nor create a new one named '%s'\n",
               level.c_str());
      return false;
    }
    if (made) {
      waiting_.noteNewName(platform::folderHolding(level));
    } else if (platform::FolderIdentity identity; platform::identifyFolder(level, identity)) {
      // A folder that was there before may be one that files are read from.
      receivingFolders_.push_back(identity);
      sourceFolders_.clear();
    }
    knownFolders_.insert(std::move(level));
  }
  return true;
}

}  // namespace catpack
