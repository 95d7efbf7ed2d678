#include "crash/crash_model.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace catpack::crash {

namespace {

// A file's bytes as of its last flush, and the number of events before it.
struct Flushed {
  std::string bytes;
  std::size_t upTo = 0;
};

// A name change with the number of its event.
struct NameChange {
  const FileEvent* event;
  std::size_t number;
};

// The run as far as a crash point: every byte written, every flush, and the
// name changes in program order.
struct RunSoFar {
  std::map<std::uint64_t, std::string> written;
  std::map<std::uint64_t, Flushed> flushed;
  std::vector<NameChange> nameChanges;
  std::size_t durable = 0;  // the name changes made durable
  std::map<std::uint64_t, std::size_t>
      lastSizeChange;                               // per file: name changes up to its creation or truncation
  std::map<std::string, std::size_t> lastChangeIn;  // per folder: name changes up to the last of its entries

  void apply(const FileEvent& event, std::size_t number) {
    using Kind = FileEvent::Kind;
    if (changesNames(event)) {
      nameChanges.push_back({&event, number});
      if (event.kind == Kind::create || event.kind == Kind::truncate)
        lastSizeChange[event.file] = nameChanges.size();
      for (const std::string& folder : foldersChangedBy(event)) lastChangeIn[folder] = nameChanges.size();
    }
    if (event.kind == Kind::create) written[event.file].clear();
    if (event.kind == Kind::write || event.kind == Kind::truncate) applyToBytes(written[event.file], event);
    if (event.kind == Kind::flushFile) {
      flushed[event.file] = {written[event.file], number + 1};
      durable = std::max(durable, lastSizeChange[event.file]);
    } else if (event.kind == Kind::flushFolder) {
      durable = std::max(durable, lastChangeIn[event.path]);
    } else if (event.kind == Kind::flushAll) {
      for (const auto& [file, bytes] : written) flushed[file] = {bytes, number + 1};
      durable = nameChanges.size();
    }
  }

  // The bytes of `file` when only flushed bytes persisted, with the first
  // `prefix` name changes: truncations after its last flush still count.
  std::string durableBytes(std::uint64_t file, std::size_t prefix) const {
    const auto found = flushed.find(file);
    Flushed last = found == flushed.end() ? Flushed{} : found->second;
    for (std::size_t change = 0; change < prefix; ++change) {
      const NameChange& name = nameChanges[change];
      if (name.event->kind == FileEvent::Kind::truncate && name.event->file == file &&
          name.number >= last.upTo) {
        applyToBytes(last.bytes, *name.event);
      }
    }
    return last.bytes;
  }

  CrashState state(const Names& initial, std::size_t prefix, bool everyByte) const {
    Names names = initial;
    for (std::size_t change = 0; change < prefix; ++change) applyToNames(names, *nameChanges[change].event);
    CrashState state;
    for (const auto& [path, node] : names) {
      if (path.empty()) continue;
      if (node.isFolder) {
        state.entries[path] = Entry{true, ""};
      } else {
        state.entries[path] =
            Entry{false, everyByte ? written.at(node.file) : durableBytes(node.file, prefix)};
      }
    }
    return state;
  }
};

// What `state` shows of the `watched` entries, as one text.
std::string lookOf(const CrashState& state, const Watched& watched) {
  std::string look;
  for (const auto& [path, entry] : state.entries) {
    if (!watched(path)) continue;
    look +=
        path + '\0' + (entry.isFolder ? "folder" : std::to_string(entry.bytes.size())) + '\0' + entry.bytes;
  }
  return look;
}

std::string describe(std::size_t point, std::size_t events, std::size_t prefix, const RunSoFar& run,
                     bool everyByte) {
  return "crash after " + std::to_string(point) + " of " + std::to_string(events) + " events, " +
         std::to_string(prefix) + " of " + std::to_string(run.nameChanges.size()) +
         " name changes persisted (" + std::to_string(run.durable) + " durable), " +
         (everyByte ? "every byte written" : "only flushed bytes");
}

}  // namespace

CrashStates crashStates(const FileHistory& history, const Watched& watched) {
  const std::vector<FileEvent>& events = history.events();
  CrashStates states;
  states.events = events.size();
  RunSoFar run;
  run.written = history.initialBytes();
  for (const auto& [file, bytes] : history.initialBytes()) run.flushed[file] = {bytes, 0};
  std::set<std::string> looks;
  for (std::size_t point = 0;; ++point) {
    for (std::size_t prefix = run.durable; prefix <= run.nameChanges.size(); ++prefix) {
      for (const bool everyByte : {false, true}) {
        CrashState state = run.state(history.initialNames(), prefix, everyByte);
        ++states.enumerated;
        if (looks.insert(lookOf(state, watched)).second) {
          state.description = describe(point, events.size(), prefix, run, everyByte);
          states.distinct.push_back(std::move(state));
        }
      }
    }
    if (point == events.size()) break;
    run.apply(events[point], point);
  }
  states.afterRun = run.state(history.initialNames(), run.durable, false);
  states.afterRun.description =
      "after the run, " + describe(events.size(), events.size(), run.durable, run, false);
  return states;
}

void replay(const CrashState& state, const std::string& folder) {
  for (const auto& [path, entry] : state.entries) {
    const fs::path full = fs::path(folder) / path;
    if (entry.isFolder) {
      fs::create_directories(full);
      continue;
    }
    fs::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(entry.bytes.data(), static_cast<std::streamsize>(entry.bytes.size()));
    if (!out) throw std::runtime_error("cannot replay " + path);
  }
}

}  // namespace catpack::crash
