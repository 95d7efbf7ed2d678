// Power cuts at every moment of a run that writes a catalog or a folder
// output. The run is traced with strace; every state the persistence model
// of crash_model.h allows is replayed into a folder of its own, and catalogs
// are read back with the built binary. A catalog must be the previous one or
// the new one (after an append: the previous members and possibly some new
// ones, each whole), each file of a folder output old or new and whole (a
// new file: absent or a prefix of its bytes), and once the run has ended
// everything it wrote must have been made durable. The one exception is the
// instant the README names, between the two renames of a new catalog: the
// previous index may then be beside the new data file, with the previous data
// file kept as a .cpk file that restores the previous catalog.
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crash/crash_model.h"
#include "crash/file_events.h"
#include "crash/read_back.h"
#include "crash/tracer.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using crash::CrashState;
using crash::CrashStates;
using testing::TempFolder;

// Files by relative name: the sources of a tree, the members of a catalog.
using Members = std::map<std::string, std::string>;

const Members& newMembers() {
  static const Members members = {
      {"a.txt", "the first member\n"},
      {"sub/b.bin", testing::randomBytes(3000, 21)},
      {"sub/c.txt", "a third one, in a subfolder\n"},
      {"sub/deeper/d.bin", testing::randomBytes(2000, 22)},
  };
  return members;
}

const Members& previousMembers() {
  static const Members members = {
      {"p.txt", "what the catalog held before\n"},
      {"q/r.bin", testing::randomBytes(1500, 23)},
  };
  return members;
}

const Members& appendedMembers() {
  static const Members members = {
      {"x.txt", "appended\n"},
      {"y/z.bin", testing::randomBytes(2500, 24)},
  };
  return members;
}

// What the folder outputs write; the empty member becomes an empty file.
const Members& outputMembers() {
  static const Members members = {
      {"a.txt", "top level\n"},
      {"docs/b.txt", "a document\n"},
      {"docs/deep/c.bin", testing::randomBytes(2500, 25)},
      {"img/d.bin", testing::randomBytes(1800, 26)},
      {"img/e.empty", ""},
  };
  return members;
}

// What an output folder holds under the same names before it is replaced.
const Members& replacedMembers() {
  static const Members members = {
      {"a.txt", "the old top level\n"},
      {"docs/b.txt", "the old document\n"},
      {"docs/deep/c.bin", testing::randomBytes(700, 27)},
      {"img/d.bin", "old"},
      {"img/e.empty", "was not empty"},
  };
  return members;
}

Members joined(const Members& one, const Members& other) {
  Members both = one;
  both.insert(other.begin(), other.end());
  return both;
}

// The two files of the catalog c; a missing file holds nothing.
struct CatalogFiles {
  std::optional<std::string> index;
  std::optional<std::string> data;
  bool operator==(const CatalogFiles&) const = default;
};

std::optional<std::string> fileIn(const CrashState& state, const std::string& path) {
  const auto found = state.entries.find(path);
  if (found == state.entries.end() || found->second.isFolder) return std::nullopt;
  return found->second.bytes;
}

CatalogFiles catalogIn(const CrashState& state) {
  return {fileIn(state, "c.cat"), fileIn(state, "c.dat")};
}

CatalogFiles catalogIn(const TempFolder& folder) {
  return {folder.read("c.cat"), folder.read("c.dat")};
}

// How `file` (named `name`) compares with the previous and the new one.
std::string compared(const std::optional<std::string>& file, const std::optional<std::string>& previous,
                     const std::optional<std::string>& written, const std::string& name) {
  if (!file) return "no " + name;
  if (file == previous) return "the previous " + name;
  if (file == written) return "the new " + name;
  return name + " of " + std::to_string(file->size()) + " bytes, neither previous nor new";
}

std::string compared(const CatalogFiles& files, const CatalogFiles& previous, const CatalogFiles& written) {
  return compared(files.index, previous.index, written.index, "c.cat") + " and " +
         compared(files.data, previous.data, written.data, "c.dat");
}

// The source of `name` in `required` or else in `possible`; null in neither.
const std::string* sourceOf(const std::string& name, const Members& required, const Members& possible) {
  for (const Members* members : {&required, &possible}) {
    if (const auto found = members->find(name); found != members->end()) return &found->second;
  }
  return nullptr;
}

bool isLevelFolder(const std::string& name, const Members& members) {
  for (const auto& [member, bytes] : members) {
    if (member.starts_with(name + "/")) return true;
  }
  return false;
}

bool isTemporary(const std::string& name) { return name.substr(name.rfind('/') + 1).starts_with(".cpk"); }

// What the checks of a catalog look at: its two files, and for a new catalog
// over a previous one also the temporary files beside them.
bool isCatalogFile(const std::string& path) { return path == "c.cat" || path == "c.dat"; }
bool isBesideCatalog(const std::string& path) {
  return isCatalogFile(path) || (path.find('/') == std::string::npos && isTemporary(path));
}

// What the checks of a folder output look at.
bool isInOutput(const std::string& path) { return path.starts_with("out/"); }

class CrashStateTest : public ::testing::Test {
 protected:
  // Writes `members` below the folder `tree`, each with a time of its own.
  void lay(const std::string& tree, const Members& members) const {
    std::int64_t time = 100000;
    for (const auto& [name, bytes] : members) folder.write(tree + "/" + name, bytes, time += 1000);
  }

  // A run to set a case up, not traced.
  void prepare(const std::vector<std::string>& arguments) const {
    const testing::RunResult result = testing::runCatpack(arguments, folder.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  // Traces catpack with `arguments` and gives the crash states, told apart
  // by the `watched` entries; says how many there were under `label`.
  CrashStates trace(const std::string& label, const std::vector<std::string>& arguments,
                    const crash::Watched& watched) const {
    crash::FileHistory history(folder.path());
    const crash::TracedRun run = crash::traceCatpack({"-e", std::string("trace=") + crash::fileChangingCalls},
                                                     arguments, folder.path());
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitCode, 0);
    history.follow(run.calls);
    CrashStates states = crash::crashStates(history, watched);
    std::cout << "[  crash   ] " << label << ": " << states.events << " events, " << states.enumerated
              << " crash states, " << states.distinct.size() << " distinct states checked" << std::endl;
    return states;
  }

  // Expects the catalog c of `state`, read back with the binary, to list
  // every member of `required` and possibly some of `possible`, nothing
  // else, and each member whole.
  void expectCatalog(const CrashState& state, const Members& required, const Members& possible = {}) const {
    const TempFolder replayed;
    crash::replay(state, replayed.path());
    const crash::ReadBack back = crash::readBack(replayed.path(), "c.cat");
    EXPECT_EQ(back.problems, "");
    const std::set<std::string> listed(back.listed.begin(), back.listed.end());
    for (const auto& [name, bytes] : required) EXPECT_EQ(listed.count(name), 1u) << name << " is not listed";
    for (const std::string& name : listed) {
      const std::string* source = sourceOf(name, required, possible);
      if (source == nullptr) {
        ADD_FAILURE() << "the catalog lists " << name << ", which no run wrote";
        continue;
      }
      const auto extracted = back.extracted.find(name);
      EXPECT_TRUE(extracted != back.extracted.end() && extracted->second == *source)
          << name << " is not whole";
    }
    EXPECT_EQ(back.extracted.size(), listed.size()) << "extracting gives the listed members only";
  }

  // The one instant the README says cannot be made safe, between the two
  // renames that put a new catalog in place: the previous index beside the
  // new data file. The previous data file must be there as a .cpk file, and
  // renamed back to c.dat it must restore the previous catalog.
  void expectRestorable(const CrashState& state, const std::string& previousData) const {
    for (const auto& [path, entry] : state.entries) {
      if (isCatalogFile(path) || !isBesideCatalog(path) || entry.bytes != previousData) continue;
      CrashState restored = state;
      restored.entries["c.dat"] = entry;
      restored.entries.erase(path);
      expectCatalog(restored, previousMembers());
      return;
    }
    ADD_FAILURE()
        << "the previous index is beside the new data file, and no .cpk file holds the previous data";
  }

  // Cases 1 and 2: a new catalog written over a previous one.
  void expectNewOverPrevious(const std::string& label, const std::vector<std::string>& format) {
    lay("previous", previousMembers());
    lay("src", newMembers());
    std::vector<std::string> arguments = {"-in", "previous", "-out", "c.cat"};
    arguments.insert(arguments.end(), format.begin(), format.end());
    prepare(arguments);
    const CatalogFiles previous = catalogIn(folder);
    arguments[1] = "src";
    const CrashStates states = trace(label, arguments, isBesideCatalog);
    const CatalogFiles written = catalogIn(folder);
    for (const CrashState& state : states.distinct) {
      SCOPED_TRACE(state.description);
      const CatalogFiles found = catalogIn(state);
      if (found == previous) {
        expectCatalog(state, previousMembers());
      } else if (found == written) {
        expectCatalog(state, newMembers());
      } else if (found.index == previous.index && found.data == written.data) {
        expectRestorable(state, *previous.data);
      } else {
        ADD_FAILURE() << "the catalog is neither the previous one nor the new one: "
                      << compared(found, previous, written);
      }
    }
    EXPECT_TRUE(catalogIn(states.afterRun) == written)
        << states.afterRun.description << ": " << compared(catalogIn(states.afterRun), previous, written);
  }

  // Cases 4 and 5: new members appended to the catalog that `format` makes.
  void expectAppend(const std::string& label, const std::vector<std::string>& format) {
    lay("previous", previousMembers());
    lay("more", appendedMembers());
    std::vector<std::string> arguments = {"-in", "previous", "-out", "c.cat"};
    arguments.insert(arguments.end(), format.begin(), format.end());
    prepare(arguments);
    const CrashStates states = trace(label, {"-in", "more", "-out", "c.cat", "-append"}, isCatalogFile);
    for (const CrashState& state : states.distinct) {
      SCOPED_TRACE(state.description);
      expectCatalog(state, previousMembers(), appendedMembers());
    }
    SCOPED_TRACE(states.afterRun.description);
    expectCatalog(states.afterRun, joined(previousMembers(), appendedMembers()));
  }

  // Cases 6 and 7: the catalog of outputMembers() written into the folder
  // out, which holds `replaced` (or nothing when null) before.
  void expectFolderOutput(const std::string& label, const Members* replaced) {
    lay("src", outputMembers());
    prepare({"-in", "src", "-out", "c.cat"});
    folder.makeFolder("out");
    if (replaced != nullptr) lay("out", *replaced);
    const CrashStates states = trace(label, {"-in", "c.cat", "-out", "out"}, isInOutput);
    for (const CrashState& state : states.distinct) {
      SCOPED_TRACE(state.description);
      for (const auto& [path, entry] : state.entries) {
        if (!path.starts_with("out/")) continue;
        const std::string name = path.substr(4);
        const auto member = outputMembers().find(name);
        if (entry.isFolder) {
          EXPECT_TRUE(isLevelFolder(name, outputMembers()))
              << "the folder " << name << " belongs to no member";
        } else if (member == outputMembers().end()) {
          EXPECT_TRUE(isTemporary(name)) << name << " is neither a member nor a temporary file";
        } else if (replaced != nullptr) {
          EXPECT_TRUE(entry.bytes == member->second || entry.bytes == replaced->at(name))
              << name << " is neither old nor new";
        } else {
          EXPECT_TRUE(member->second.starts_with(entry.bytes))
              << name << " holds " << entry.bytes.size() << " bytes that do not begin its own";
        }
      }
      if (replaced == nullptr) continue;
      for (const auto& [name, bytes] : outputMembers()) {
        EXPECT_EQ(state.entries.count("out/" + name), 1u) << name << " is gone";
      }
    }
    SCOPED_TRACE(states.afterRun.description);
    for (const auto& [name, bytes] : outputMembers()) {
      const std::optional<std::string> file = fileIn(states.afterRun, "out/" + name);
      EXPECT_TRUE(file == bytes) << name << (file ? " is not whole" : " is missing");
    }
  }

  TempFolder folder;
};

TEST_F(CrashStateTest, ANewCatalogOverAPreviousOneIsEitherOfThem) {
  expectNewOverPrevious("new catalog over a previous one", {});
}

TEST_F(CrashStateTest, ANewOldFormatCatalogOverAPreviousOneIsEitherOfThem) {
  expectNewOverPrevious("new old-format catalog over a previous one", {"-zarn3cat"});
}

TEST_F(CrashStateTest, ANewCatalogWhereNoneWasIsAbsentOrNew) {
  lay("src", newMembers());
  const CrashStates states =
      trace("new catalog where none was", {"-in", "src", "-out", "c.cat"}, isCatalogFile);
  const CatalogFiles written = catalogIn(folder);
  for (const CrashState& state : states.distinct) {
    SCOPED_TRACE(state.description);
    const CatalogFiles found = catalogIn(state);
    if (!found.index) continue;  // no catalog
    if (found == written) {
      expectCatalog(state, newMembers());
    } else {
      ADD_FAILURE() << "the catalog is neither absent nor the new one: " << compared(found, {}, written);
    }
  }
  EXPECT_TRUE(catalogIn(states.afterRun) == written)
      << states.afterRun.description << ": " << compared(catalogIn(states.afterRun), {}, written);
}

TEST_F(CrashStateTest, AnAppendToACatalogAddsWholeMembers) {
  expectAppend("append to a catalog", {});
}

TEST_F(CrashStateTest, AnAppendToAnOldFormatCatalogAddsWholeMembers) {
  expectAppend("append to an old-format catalog", {"-zarn3cat"});
}

TEST_F(CrashStateTest, NewFilesOfAFolderOutputAreAbsentOrBeginTheirBytes) {
  expectFolderOutput("folder output of new files", nullptr);
}

TEST_F(CrashStateTest, ReplacedFilesOfAFolderOutputAreOldOrNew) {
  expectFolderOutput("folder output replacing files", &replacedMembers());
}

}  // namespace
}  // namespace catpack
