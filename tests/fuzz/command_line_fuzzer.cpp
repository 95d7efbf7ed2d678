// Arguments from one input, separated by NUL bytes, through the command-line
// parser. Parsing ends before any file is looked at; the settings it gives
// must account for the arguments.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fuzz_check.h"

namespace {

using catpack::fuzzing::check;

// The switch name in lower case, without its leading "-" or "/".
std::string switchName(const std::string& argument) {
  std::string name = argument.substr(1);
  for (char& byte : name) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return name;
}

// An argument beginning with "-" is a switch; one beginning with "/" only
// when a switch name follows, as any other is an absolute path.
bool isSwitch(const std::string& argument) {
  static const std::vector<std::string> names = {"in",     "out",      "diff",     "include", "exclude", "dump",
                                                 "append", "zarn3cat", "checksum", "?",       "help"};
  if (argument.empty()) return false;
  if (argument[0] == '-') return true;
  return argument[0] == '/' && std::find(names.begin(), names.end(), switchName(argument)) != names.end();
}

bool hasFlag(const std::vector<std::string>& arguments, const char* flag) {
  return std::any_of(arguments.begin(), arguments.end(),
                     [&](const std::string& argument) { return isSwitch(argument) && switchName(argument) == flag; });
}

bool isArgument(const std::vector<std::string>& arguments, const std::string& text) {
  return std::find(arguments.begin(), arguments.end(), text) != arguments.end();
}

void checkSettings(const catpack::RunSettings& settings, const std::vector<std::string>& arguments) {
  check(!settings.inPaths.empty(), "a run has an input");
  check(!settings.outPath.empty() || settings.dump, "a run has an output or a listing");
  check(settings.dump == hasFlag(arguments, "dump"), "-dump is set exactly when given");
  check(settings.append == hasFlag(arguments, "append"), "-append is set exactly when given");
  check(settings.oldFormat == hasFlag(arguments, "zarn3cat"), "-zarn3cat is set exactly when given");
  check(settings.checksum == hasFlag(arguments, "checksum"), "-checksum is set exactly when given");
  std::size_t values = 0, emptyValues = 0;
  for (const std::string& argument : arguments) {
    values += !isSwitch(argument);
    emptyValues += argument.empty();
  }
  // An empty output path leaves no trace; every other value is held once.
  const std::size_t held = settings.inPaths.size() + settings.diffPaths.size() +
                           (settings.outPath.empty() ? 0 : 1) + settings.patterns.size();
  check(held <= values && held + emptyValues >= values, "every non-switch argument lands in one list");
  for (const auto& list : {settings.inPaths, settings.diffPaths}) {
    for (const std::string& path : list) {
      check(!isSwitch(path) && isArgument(arguments, path), "paths are arguments as typed");
    }
  }
  check(settings.outPath.empty() || isArgument(arguments, settings.outPath), "the output is an argument as typed");
  for (const std::string& pattern : settings.patterns) {
    check(pattern[0] == '+' || pattern[0] == '-', "a pattern item begins with its kind");
    check(std::none_of(pattern.begin(), pattern.end(), [](char byte) { return byte >= 'A' && byte <= 'Z'; }),
          "patterns are lower-cased");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments;
  const char* bytes = reinterpret_cast<const char*>(data);
  if (size != 0) {
    const char* start = bytes;
    for (const char* at = bytes; at <= bytes + size; ++at) {
      if (at == bytes + size || *at == '\0') {
        arguments.emplace_back(start, at);
        start = at + 1;
      }
    }
  }
  const catpack::ParsedCommandLine parsed = catpack::parseCommandLine(arguments, "catpack");
  if (parsed.settings) {
    check(parsed.exitCode == 0, "a run that goes on has exit code 0");
    checkSettings(*parsed.settings, arguments);
  } else {
    check(parsed.exitCode == 1, "help and command-line errors end with exit code 1");
  }
  return 0;
}
