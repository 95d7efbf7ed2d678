#include "cli/run_sequence.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>

#include "catalog/catalog_reader.h"
#include "catalog/catalog_writer.h"
#include "folder/folder_scanner.h"
#include "folder/folder_writer.h"
#include "index/base_pairing.h"
#include "index/diff.h"
#include "index/file_index.h"
#include "index/filter.h"
#include "index/key_screen.h"
#include "util/console.h"
#include "util/file_status.h"
#include "util/progress.h"
#include "util/text.h"
#include "util/workers.h"

namespace catpack {

namespace {

constexpr int doneExitCode = 0;
constexpr int writerFailedExitCode = 1;
constexpr int notCatalogNorFolderExitCode = 2;

// Reads every path into `index`; false after printing `aborting` (with the
// path) for one that is neither a catalog nor a folder.
bool readInputs(FileIndex& index, const std::vector<std::string>& paths, const char* aborting,
                FolderExclusion& exclusion, const KeyScreen* screen, BasePairing* pairing) {
  for (const std::string& path : paths) {
    if (isCatalogPath(path)) {
      readCatalog(index, catalogBasePath(path), screen, pairing);
    } else if (fileSize(path) == -2) {
      printOut("Reading from folder %s\n", path.c_str());
      scanFolder(index, path, std::string(), path, exclusion);
    } else {
      printErr(aborting, path.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

void endProcess(int exitCode) {
  eraseStatusLine();
  // A listing that did not reach its destination is no success.
  if (!flushConsole()) {
    printErr("Failed writing standard output\n");
    if (exitCode == doneExitCode) exitCode = writerFailedExitCode;
  }
  std::exit(exitCode);
}

void runSequence(const RunSettings& settings) {
  FolderExclusion exclusion(settings.patterns);
  // Without a diff the filters apply to the inputs as read, so catalogs are
  // screened with them as they are read.
  const std::unique_ptr<KeyScreen> screen =
      settings.diffPaths.empty() ? KeyScreen::make(settings.patterns) : nullptr;
  FileIndex result;
  if (!readInputs(result, settings.inPaths, "Input %s is neither a catalog nor a folder, aborting\n",
                  exclusion, screen.get(), nullptr)) {
    endProcess(notCatalogNorFolderExitCode);
  }
  if (!settings.diffPaths.empty()) {
    const SameSizeCheck check =
        settings.checksum ? SameSizeCheck::contents : SameSizeCheck::timesFirst;
    // A base of catalogs alone is paired with the result as it is read, so
    // that it is never held whole.
    const bool catalogsOnly = std::all_of(settings.diffPaths.begin(), settings.diffPaths.end(),
                                          [](const std::string& path) { return isCatalogPath(path); });
    std::optional<BasePairing> pairing;
    if (catalogsOnly) pairing.emplace(result, check);
    FileIndex base;
    if (!readInputs(base, settings.diffPaths,
                    "Diff input %s is neither a catalog nor a folder, aborting\n", exclusion,
                    nullptr, pairing ? &*pairing : nullptr)) {
      endProcess(notCatalogNorFolderExitCode);
    }
    if (pairing) {
      applyPairedDiff(result, base, *pairing);
    } else {
      applyDiff(result, base, helperThreadCount(), check);
    }
  }
  if (!settings.patterns.empty()) applyFilters(result, settings.patterns);
  if (settings.dump) dumpIndex(result);
  if (settings.outPath.empty()) endProcess(doneExitCode);

  const std::string& out = settings.outPath;
  if (isCatalogPath(out)) {
    printOut("%s to Catalog %s\n", settings.append ? "Appending" : "Writing", out.c_str());
    const bool written =
        writeCatalog(result, catalogBasePath(out), settings.append, settings.oldFormat);
    endProcess(written ? doneExitCode : writerFailedExitCode);
  }
  if (fileSize(out) == -2) {
    printOut("Writing to Folder %s\n", out.c_str());
    endProcess(writeFolder(result, out) ? doneExitCode : writerFailedExitCode);
  }
  printErr("Output %s is neither a catalog nor a folder, aborting\n", out.c_str());
  endProcess(notCatalogNorFolderExitCode);
}

}  // namespace catpack
