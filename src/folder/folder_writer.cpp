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

// How many names of one folder that was there before are listed at most:
// a target beyond them is tried as a new file first, as any other.
constexpr std::size_t mostNamesListed = 1u << 16;

// Where the entry's bytes come from, as messages name it.
std::string sourceDescription(const EntryView& entry) {
  return entry.inCatalog ? entry.catalog + ".dat" : std::string(entry.folder);
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

void FolderWriter::writeEntryToFolder(const EntryView& entry) {
  // A file read after the one that replaces it was written is read as it
  // would have been had that one been put in place at once.
  if ((writing_.holdsFiles() || waiting_.holdsMessages()) && !entry.inCatalog && entry.size != 0 &&
      readsFromOutput(entry)) {
    passOnWritten(true);
    waiting_.placeAll();
  }
  auto job = std::make_unique<FileJob>();
  bool prepared = false;
  std::optional<std::uint64_t> order;
  {
    const MessageCapture capture(job->messages);
    prepared = prepareJob(entry, *job, order);
  }
  // Where a folder cannot be told apart from the others, it may be one of
  // them: from here on every target is opened in turn, after the ones
  // given so far.
  if (prepared && !order && !inOneOrder_) {
    passOnWritten(true);
    inOneOrder_ = true;
  }
  job->folder = inOneOrder_ || !order ? 0 : *order;
  writing_.add(std::move(job), !prepared);
  passOnWritten(false);
}

void FolderWriter::madeOutputFolder() {
  madeFolders_.insert(outPath_);
  waiting_.noteNewName(platform::folderHolding(outPath_));
}

void FolderWriter::finish() {
  passOnWritten(true);
  waiting_.finish();
}

void FolderWriter::passOnWritten(bool all) {
  for (;;) {
    std::unique_ptr<FileJob> job = writing_.takeDone(all || writing_.isFull());
    if (!job) return;
    advance(0, job->size);
    // With nothing waiting, what the entry printed comes out at once.
    if (!waiting_.holdsMessages()) {
      printCapturedErr(job->messages);
      job->messages.clear();
    }
    waiting_.add(job->name, std::move(job->messages), std::move(job->file), job->size, job->folder);
  }
}

bool FolderWriter::prepareJob(const EntryView& entry, FileJob& job,
                             std::optional<std::uint64_t>& order) {
  job.name = entry.name;
  if (!staysInsideFolder(entry.name)) {
    printErr("Refusing to write file %s outside folder %s\n", entry.name.c_str(), outPath_.c_str());
    return false;
  }
  job.source = sourceDescription(entry);
  // The source is opened first, so that a missing one touches nothing.
  if (entry.size != 0) {
    job.bytes = openStoredBytes(entry, &held_);
    if (!job.bytes) {
      printErr("Failed reading file %s from %s\n", job.name.c_str(), job.source.c_str());
      return false;
    }
  }
  job.toggleScrambling = entry.scrambled;
  job.time = entry.time;
  job.size = static_cast<std::uint32_t>(entry.size);
  std::string converted = entry.name;
  for (char& byte : converted) {
    if (isSeparator(byte)) byte = separator_;
  }
  if (!makeLevelFolders(converted)) {
    printErr("Failed writing file %s to folder %s\n", job.name.c_str(), outPath_.c_str());
    return false;
  }
  const std::size_t lastSeparator = converted.rfind(separator_);
  const TargetFolder& folder =
      lastSeparator == std::string::npos
          ? targetFolder(outPath_)
          : targetFolder(outPath_ + separator_ + converted.substr(0, lastSeparator));
  const std::string_view leaf =
      lastSeparator == std::string::npos ? converted : std::string_view(converted).substr(lastSeparator + 1);
  job.targetListed = folder.listed.count(std::string(leaf)) != 0;
  job.targetPath = outPath_ + separator_ + converted;
  if (folder.order != 0) order = folder.order;
  return true;
}

const FolderWriter::TargetFolder& FolderWriter::targetFolder(const std::string& folderPath) {
  const auto known = targetFolders_.find(folderPath);
  if (known != targetFolders_.end()) return known->second;
  TargetFolder& folder = targetFolders_[folderPath];
  platform::FolderIdentity identity;
  if (platform::identifyFolder(folderPath, identity)) {
    folder.order = folderOrders_.emplace(std::make_pair(identity.volume, identity.index), folderOrders_.size() + 1)
                       .first->second;
  }
  if (madeFolders_.count(folderPath) != 0) return folder;
  if (std::unique_ptr<FolderListing> listing = openFolderListing(folderPath)) {
    for (std::string found = nextListedName(*listing);
         !found.empty() && folder.listed.size() < mostNamesListed; found = nextListedName(*listing)) {
      folder.listed.insert(std::move(found));
    }
  }
  return folder;
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
      madeFolders_.insert(level);
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
