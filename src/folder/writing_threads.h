// The threads that write the files of a folder output, one per core. The
// targets of one folder are opened one after the other in the order the
// files were given, so that two names of one file meet it as they would on
// a single thread; targets in other folders are opened, bytes written and
// times set side by side. The files come back in the order given, each
// with the messages it printed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "folder/file_job.h"
#include "util/workers.h"

namespace catpack {

class WritingThreads {
 public:
  // How many files one thread takes at a time: targets it opens in one
  // go before it writes them, so that threads hand over seldom.
  static constexpr std::size_t filesPerRun = 8;

  // `outPath` is the output folder, for messages.
  explicit WritingThreads(const std::string& outPath);
  // Stops the threads once their current files are done; files not taken
  // back are removed.
  ~WritingThreads();
  WritingThreads(const WritingThreads&) = delete;
  WritingThreads& operator=(const WritingThreads&) = delete;

  // How many files may be given and not yet taken back: each holds up to
  // two files open.
  static std::size_t mostFilesAtOnce();

  // Gives a file to write (files with equal `folder` have their targets
  // opened in the order given), or with `done` one that failed already,
  // whose messages keep their place.
  void add(std::unique_ptr<FileJob> job, bool done);

  // The first file given and not yet taken back, once it is done (waiting
  // for that with `wait`); null when there is none or it is not done.
  std::unique_ptr<FileJob> takeDone(bool wait);

  // Whether any file was given and not yet taken back.
  bool holdsFiles() const { return !jobs_.empty() || !unpublished_.empty() || !taken_.empty(); }

  // Whether as many files as may be are given and not taken back.
  bool isFull() const {
    return jobs_.size() + unpublished_.size() + taken_.size() >= mostFilesAtOnce();
  }

 private:
  // A file and where it stands. Once a thread has claimed it, only that
  // thread touches the job until it is done.
  struct Slot {
    std::unique_ptr<FileJob> job;
    std::uint64_t folder = 0;
    std::uint64_t folderTurn = 0;  // its place among the targets of its folder
    bool claimed = false;          // a thread took it, or it needs none
    bool done = false;
  };
  // A file given and not yet handed to the threads.
  struct Unpublished {
    std::unique_ptr<FileJob> job;
    bool done;
  };
  // The targets of one folder given to the threads and opened so far.
  struct FolderTurns {
    std::uint64_t given = 0;
    std::uint64_t opened = 0;
  };

  // Hands the files given since the last time to the threads.
  void publish();
  // Claims the first run of files whose targets may be opened now: the
  // next files of a folder whose earlier targets are all open. False when
  // there is none.
  bool claimRun(std::vector<Slot*>& run);
  // What each thread runs: claims runs of files, opens their targets,
  // writes them.
  void work();

  std::string outPath_;
  // Files given and not yet handed to the threads, and files done that
  // were taken from them and not yet taken back.
  std::vector<Unpublished> unpublished_;
  std::deque<std::unique_ptr<FileJob>> taken_;
  // Everything below is touched under the lock, but for the size of
  // `jobs_`: only the giving thread adds files to it and takes them away.
  std::mutex lock_;
  std::condition_variable workGiven_;
  std::condition_variable runDone_;
  std::deque<Slot> jobs_;
  std::size_t firstUnclaimed_ = 0;  // index into jobs_
  // Folders with targets given and not yet opened.
  std::unordered_map<std::uint64_t, FolderTurns> folders_;
  unsigned idleThreads_ = 0;        // threads waiting for files
  bool takerWaits_ = false;         // the giving thread waits for the first file
  bool stopping_ = false;
  std::optional<HelperThreads> threads_;
};

}  // namespace catpack
