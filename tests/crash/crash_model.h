// The states a power cut during a run can leave, under a weak persistence
// model, and their replay into a folder.
//
// Name changes (creations, renames, links, removals, new folders, truncations)
// persist in program order: at a crash some prefix of those made before it
// has persisted. The prefix reaches at least as far as they were made durable:
// an fsync of a folder makes the changes of its entries durable, an fsync or
// fdatasync of a file its own creation and size, a syncfs everything. A
// file's bytes persist only up to its last flush (fsync, fdatasync, syncfs);
// in a second variant every byte written before the crash has persisted.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "crash/file_events.h"

namespace catpack::crash {

// What one path holds in a crash state: a folder, or a file's bytes.
struct Entry {
  bool isFolder = false;
  std::string bytes;
};

// One way the tree may look after a power cut.
struct CrashState {
  std::string description;               // where the run was cut and what persisted
  std::map<std::string, Entry> entries;  // by relative path, "/" between levels, no root
};

// The crash states of a run, told apart by what a check looks at.
struct CrashStates {
  std::size_t events = 0;            // the run's events in the tree
  std::size_t enumerated = 0;        // crash points × persisted name prefixes × byte variants
  std::vector<CrashState> distinct;  // the first state of each distinct look of the watched paths
  CrashState afterRun;               // the run ended, and only what it made durable persisted
};

// Whether a check looks at the entry of a path: watched entries tell states
// apart.
using Watched = std::function<bool(const std::string& path)>;

// Enumerates every crash point of `history` (before each event and after the
// last), every name prefix that may have persisted there and both byte
// variants, and keeps one state of each look of the `watched` entries.
CrashStates crashStates(const FileHistory& history, const Watched& watched);

// Lays out what `state` holds below `folder`, which exists and is empty.
void replay(const CrashState& state, const std::string& folder);

}  // namespace catpack::crash
