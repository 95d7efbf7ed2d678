#include "cli/command_line.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/platform.h"
#include "util/console.h"
#include "util/text.h"

namespace catpack {

namespace {

// Which list the next non-switch argument goes to.
enum class ListTarget { none, in, out, diff, include, exclude };

constexpr int usageExitCode = 1;
constexpr int errorExitCode = 1;

// Every switch name, as compared with the lower-cased rest of an argument.
constexpr std::array<std::string_view, 11> switchNames = {
    "in", "out", "diff", "include", "exclude", "dump", "append", "zarn3cat", "checksum", "?", "help"};

// Whether `argument` is a switch rather than a path or a pattern: it begins
// with "-", or with "/" where no path does; where absolute paths begin with
// "/", only a "/" followed by a switch name is a switch.
bool isSwitch(const std::string& argument) {
  if (argument.empty() || (argument[0] != '-' && argument[0] != '/')) return false;
  if (argument[0] == '-' || !platform::absolutePathsBeginWithSlash()) return true;
  const std::string name = lowerCased(argument.substr(1));
  return std::find(switchNames.begin(), switchNames.end(), name) != switchNames.end();
}

ParsedCommandLine endWithError(const char* format, const std::string& program) {
  printErr(format, program.c_str());
  return {std::nullopt, errorExitCode};
}

}  // namespace

void printBanner() {
  printOut("catpack 1.0\n");
  printOut("Copyright (c) 2026 the catpack developers. All rights reserved.\n");
}

void printUsage(const std::string& program) {
  printOut(
      "Usage: %s -in <paths> -out <path> [-diff <paths>] [-include <patterns>] [-exclude "
      "<patterns>] [Flags]\n",
      program.c_str());
  printOut("%s",
           "<path>               A folder name or catalog name (e.g. c:\\quellor, "
           "c:\\quellor\\01.cat). Catalog names must end with '.cat'.\n"
           "<paths>              A list of path names\n"
           "-in <paths>          Input paths. Files from later paths overwrite files from "
           "earlier paths.\n"
           "-out <path>          One output path.\n"
           "-diff <paths>        Base input for which a diff will be created (only new/changed "
           "files and deletions remain).\n"
           "-include <patterns>  Include all files matching the following regular "
           "expression(s).\n"
           "-exclude <patterns>  Exclude all files matching the following regular expression(s) "
           "from the already included files.\n"
           "                     Even for files that are not included, this can speed up the "
           "scanning, e.g.: -exclude \"^assets/\"\n"
           "Flags:\n"
           "-append              If output path is an existing catalog, append output to it "
           "instead of overwriting it.\n"
           "-zarn3cat               Write output catalog in old Zarn/Zarn2/Zarn3 catalog format "
           "(note: format is auto-detected on -append).\n"
           "-dump                Dump the list of resulting file names.\n"
           "-checksum            With -diff, compare the contents of files of equal size even "
           "when their times agree.\n");
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments,
                                   const std::string& program) {
  RunSettings settings;
  ListTarget target = ListTarget::none;
  for (const std::string& argument : arguments) {
    if (isSwitch(argument)) {
      const std::string name = lowerCased(argument.substr(1));
      if (name == "in") {
        target = ListTarget::in;
      } else if (name == "out") {
        target = ListTarget::out;
      } else if (name == "diff") {
        target = ListTarget::diff;
      } else if (name == "include") {
        target = ListTarget::include;
      } else if (name == "exclude") {
        target = ListTarget::exclude;
      } else if (name == "dump") {
        settings.dump = true;
        target = ListTarget::none;
      } else if (name == "append") {
        settings.append = true;
        target = ListTarget::none;
      } else if (name == "zarn3cat") {
        settings.oldFormat = true;
        target = ListTarget::none;
      } else if (name == "checksum") {
        settings.checksum = true;
        target = ListTarget::none;
      } else if (name == "?" || name == "help") {
        printUsage(program);
        return {std::nullopt, usageExitCode};
      } else {
        printErr("Invalid switch %s,\nsee %s -? or -help for help.\n", argument.c_str(),
                 program.c_str());
        return {std::nullopt, errorExitCode};
      }
      continue;
    }
    switch (target) {
      case ListTarget::none:
        return endWithError(
            "Need to specify a switch before non-switch args,\nsee %s -? or -help for help.\n",
            program);
      case ListTarget::in:
        settings.inPaths.push_back(argument);
        break;
      case ListTarget::out:
        if (!settings.outPath.empty()) {
          return endWithError("Only one out path allowed with -out,\nsee %s -? or -help for help.\n",
                              program);
        }
        settings.outPath = argument;
        break;
      case ListTarget::diff:
        settings.diffPaths.push_back(argument);
        break;
      case ListTarget::include:
        settings.patterns.push_back(lowerCased("+" + argument));
        break;
      case ListTarget::exclude:
        settings.patterns.push_back(lowerCased("-" + argument));
        break;
    }
  }
  if (settings.inPaths.empty() || (settings.outPath.empty() && !settings.dump)) {
    return endWithError(
        "Must specify output path and at least one input path,\nsee %s -? or -help for help.\n",
        program);
  }
  return {std::move(settings), 0};
}

}  // namespace catpack
