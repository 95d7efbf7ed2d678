#include "folder/waiting_outputs.h"

#include <algorithm>
#include <atomic>

#include "platform/platform.h"
#include "util/console.h"

namespace catpack {

namespace {

// A batch is flushed once it holds this many bytes, or as many files as
// may be open besides the batch flushed meanwhile, the files being written
// (a quarter of the limit at most) and the other files of the run: few
// enough to keep what waits bounded, many enough that one write-back of the
// file system takes a good number of them at once.
constexpr std::size_t mostFilesPerBatch = 2048;
constexpr std::size_t filesKeptFree = 128;
constexpr std::uint64_t bytesPerBatch = 256u << 20;
// Threads that put the files of one batch in place, where it replaces at
// least this many files per thread.
constexpr std::uint64_t placingLanes = 4;
constexpr std::size_t replacingFilesPerLane = 64;

std::size_t filesPerBatch() {
  static const std::size_t files = [] {
    const std::size_t limit = platform::openFileLimit();
    const std::size_t kept = filesKeptFree + limit / 4;
    const std::size_t fitting = limit > 2 * kept ? (limit - kept) / 2 : 16;
    return std::min(fitting, mostFilesPerBatch);
  }();
  return files;
}

}  // namespace

WaitingOutputs::~WaitingOutputs() {
  if (flusher_) flusher_->join();
}

void WaitingOutputs::add(const std::string& name, std::string messages,
                         std::optional<OutputFile> file, std::uint64_t size, std::uint64_t folder) {
  // With nothing waiting, the entry's messages were printed at once and a
  // failed entry leaves nothing to do.
  if (!file && !holdsMessages()) return;
  if (file) {
    ++current_.fileCount;
    current_.bytes += size;
    // A new file's name is made in its folder, which is flushed with it.
    if (file->isNewTarget()) {
      addFolder(current_.folders, platform::folderHolding(file->targetPath()));
    } else {
      ++current_.replacingCount;
    }
    current_.foldersKnown = current_.foldersKnown && folder != 0;
  }
  current_.entries.push_back(Entry{name, std::move(messages), std::move(file), folder});
  if (current_.fileCount >= filesPerBatch() || current_.bytes >= bytesPerBatch) startFlush();
}

void WaitingOutputs::noteNewName(const std::string& folder) { addFolder(current_.folders, folder); }

void WaitingOutputs::placeAll() {
  if (!current_.entries.empty() || !current_.folders.empty()) startFlush();
  placeFlushed();
}

void WaitingOutputs::finish() {
  placeAll();
  // The names the last batch renamed into place reach the disk as well.
  if (!renamedFolders_.empty() && !platform::flushFolders(renamedFolders_)) {
    for (const std::string& name : renamedNames_) reportFailure(name);
  }
  renamedNames_.clear();
  renamedFolders_.clear();
}

void WaitingOutputs::startFlush() {
  placeFlushed();
  auto batch = std::make_unique<Batch>(std::move(current_));
  current_ = Batch{};
  // The names the batch before renamed into place go to the disk with this
  // one's files.
  for (const std::string& folder : renamedFolders_) addFolder(batch->folders, folder);
  batch->renamedBefore = std::move(renamedNames_);
  renamedNames_.clear();
  renamedFolders_.clear();
  for (const Entry& entry : batch->entries) {
    if (entry.file) batch->files.push_back(entry.file->descriptor());
  }
  batch->flushed.reset(new bool[batch->files.size() + 1]());
  Batch* job = batch.get();
  flushing_ = std::move(batch);
  flusher_.emplace(1, [job] { flushAndPlace(*job); });
}

void WaitingOutputs::flushAndPlace(Batch& batch) {
  batch.foldersFlushed =
      platform::flushTogether(batch.files.data(), batch.files.size(), batch.flushed.get(), batch.folders);
  // A file renamed over another may wait for the file system to let go of
  // the one it replaces (to discard its blocks, say): the files of
  // different folders are put in place side by side, so that those waits
  // overlap. Files of one folder keep their order, so that of two names of
  // one file the later one wins.
  const std::uint64_t lanes =
      batch.foldersKnown && batch.replacingCount >= placingLanes * replacingFilesPerLane ? placingLanes : 1;
  std::atomic<std::uint64_t> nextLane{0};
  const auto placeLanes = [&] {
    for (std::uint64_t lane = nextLane++; lane < lanes; lane = nextLane++) placeLane(batch, lane, lanes);
  };
  const HelperThreads helpers(static_cast<unsigned>(lanes - 1), placeLanes);
  placeLanes();
}

void WaitingOutputs::placeLane(Batch& batch, std::uint64_t lane, std::uint64_t lanes) {
  // Each file once it is on the disk; a new file is on the disk once its
  // name is, too.
  std::size_t at = 0;
  for (Entry& entry : batch.entries) {
    if (!entry.file) continue;
    if (entry.folder % lanes == lane) {
      const bool onDisk = batch.flushed[at] && (!entry.file->isNewTarget() || batch.foldersFlushed);
      batch.flushed[at] = entry.file->putInPlace(onDisk);
    }
    ++at;
  }
}

void WaitingOutputs::placeFlushed() {
  if (!flushing_) return;
  flusher_->join();
  flusher_.reset();
  const std::unique_ptr<Batch> batch = std::move(flushing_);
  // Files renamed into place before, whose new names may not have reached
  // the disk.
  if (!batch->foldersFlushed) {
    for (const std::string& name : batch->renamedBefore) reportFailure(name);
  }
  std::size_t placedAt = 0;
  for (Entry& entry : batch->entries) {
    printCapturedErr(entry.messages);
    if (!entry.file) continue;
    if (!batch->flushed[placedAt++]) {
      reportFailure(entry.name);
    } else if (!entry.file->isNewTarget()) {
      renamedNames_.push_back(entry.name);
      addFolder(renamedFolders_, platform::folderHolding(entry.file->targetPath()));
    }
    entry.file.reset();
  }
}

void WaitingOutputs::reportFailure(const std::string& name) const {
  printErr("Failed writing file %s to folder %s\n", name.c_str(), outPath_.c_str());
}

void WaitingOutputs::addFolder(std::vector<std::string>& folders, const std::string& folder) {
  // Entries come in key order, so the files of one folder follow each other:
  // the folder added last is nearly always the one, and is looked at first.
  if (!folders.empty() && folders.back() == folder) return;
  if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
}

}  // namespace catpack
