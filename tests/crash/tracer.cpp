#include "crash/tracer.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack::crash {

const char* const fileChangingCalls =
    "?open,openat,?creat,write,pwrite64,writev,pwritev,close,dup,?dup2,dup3,fcntl,lseek,"
    "?rename,renameat,renameat2,?link,linkat,?unlink,unlinkat,truncate,ftruncate,?mkdir,mkdirat,"
    "copy_file_range,fsync,fdatasync,syncfs";

namespace {

// Longer than any buffer the runs write, so that strace logs every byte.
const char* const stringLimit = "16777216";

// The strace program found on PATH; empty when there is none.
std::string straceProgram() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path == nullptr ? "/usr/bin:/bin" : path);
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/strace";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The index just past the argument list that opens at `text[open]` ("("),
// passing over strings, annotations and nested brackets.
std::size_t pastArguments(const std::string& text, std::size_t open) {
  int depth = 0;
  for (std::size_t at = open; at < text.size(); ++at) {
    const char byte = text[at];
    if (byte == '"') {
      for (++at; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\') ++at;
      }
    } else if (byte == '(' || byte == '[' || byte == '{' || byte == '<') {
      ++depth;
    } else if (byte == ')' || byte == ']' || byte == '}' || byte == '>') {
      if (--depth == 0) return at + 1;
    }
  }
  throw std::runtime_error("unbalanced strace line: " + text);
}

// The arguments of `list` (the text between the call's parentheses), split
// at the commas outside strings, annotations and brackets.
std::vector<std::string> splitArguments(const std::string& list) {
  std::vector<std::string> arguments;
  std::string current;
  int depth = 0;
  for (std::size_t at = 0; at < list.size(); ++at) {
    const char byte = list[at];
    if (byte == '"') {
      const std::size_t start = at;
      for (++at; at < list.size() && list[at] != '"'; ++at) {
        if (list[at] == '\\') ++at;
      }
      current += list.substr(start, at - start + 1);
      continue;
    }
    if (byte == '(' || byte == '[' || byte == '{' || byte == '<') ++depth;
    if (byte == ')' || byte == ']' || byte == '}' || byte == '>') --depth;
    if (byte == ',' && depth == 0) {
      arguments.push_back(current);
      current.clear();
      if (at + 1 < list.size() && list[at + 1] == ' ') ++at;
      continue;
    }
    current += byte;
  }
  if (!current.empty()) arguments.push_back(current);
  return arguments;
}

// The call logged by `text` ("name(arguments) = result ..."); false when it
// never completed ("= ?").
bool parseCall(const std::string& text, SystemCall& call) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos) throw std::runtime_error("unreadable strace line: " + text);
  call.name = text.substr(0, open);
  const std::size_t close = pastArguments(text, open);
  call.arguments = splitArguments(text.substr(open + 1, close - open - 2));
  const std::size_t equals = text.find_first_not_of(' ', close);
  if (equals == std::string::npos || text[equals] != '=') {
    throw std::runtime_error("strace line without a result: " + text);
  }
  const std::size_t result = text.find_first_not_of(' ', equals + 1);
  if (result == std::string::npos || text[result] == '?') return false;
  call.result = std::strtoll(text.c_str() + result, nullptr, 0);
  call.injected = text.find("(INJECTED)", result) != std::string::npos;
  return true;
}

int hexDigit(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  throw std::runtime_error(std::string("not a hexadecimal digit: ") + digit);
}

// The bytes of the escaped text between `begin` and `end` (no quotes).
std::string unescape(const std::string& text, std::size_t begin, std::size_t end) {
  std::string bytes;
  for (std::size_t at = begin; at < end; ++at) {
    if (text[at] != '\\') {
      bytes += text[at];
    } else if (at + 3 < end && text[at + 1] == 'x') {
      bytes += static_cast<char>(hexDigit(text[at + 2]) * 16 + hexDigit(text[at + 3]));
      at += 3;
    } else {
      throw std::runtime_error("unexpected escape in strace text: " + text);
    }
  }
  return bytes;
}

// The bytes of the string that opens at `text[open]`; `end` is set past it.
std::string quotedBytes(const std::string& text, std::size_t open, std::size_t& end) {
  std::size_t close = open + 1;
  while (close < text.size() && text[close] != '"') close += text[close] == '\\' ? 2 : 1;
  if (close >= text.size()) throw std::runtime_error("unterminated strace string: " + text);
  if (text.compare(close + 1, 3, "...") == 0) {
    throw std::runtime_error("strace cut a buffer short; its string limit is too small");
  }
  end = close + 1;
  return unescape(text, open + 1, close);
}

}  // namespace

TracedRun traceCatpack(const std::vector<std::string>& straceOptions,
                       const std::vector<std::string>& arguments, const std::string& workingFolder) {
  const std::string strace = straceProgram();
  if (strace.empty()) {
    throw std::runtime_error(
        "strace is not installed, and the crash tests need it: install it (apt-get install strace)");
  }
  const testing::TempFolder capture;
  const std::string log = capture.at("trace.log");
  const testing::ProgramArguments catpack(arguments);
  std::vector<std::string> words = {strace, "-f", "-y", "-qq", "-xx", "-s", stringLimit, "-e", "signal=none"};
  words.insert(words.end(), straceOptions.begin(), straceOptions.end());
  words.insert(words.end(), {"-o", log, "--"});
  for (char* const* word = catpack.vector(); *word != nullptr; ++word) words.emplace_back(*word);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const std::string errPath = capture.at("err");
  const pid_t process = ::fork();
  if (process < 0) throw std::runtime_error("fork failed");
  if (process == 0) {
    const int out = ::open("/dev/null", O_WRONLY);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(126);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    // LeakSanitizer cannot work in a traced process and would fail the run.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string options = std::string(sanitizer == nullptr ? "" : sanitizer) + ":detect_leaks=0";
    ::setenv("ASAN_OPTIONS", options.c_str(), 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(process, &status, 0) != process) throw std::runtime_error("waitpid failed");
  TracedRun run;
  run.err = readFile(errPath);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.calls = parseStraceLog(readFile(log));
  return run;
}

std::vector<SystemCall> parseStraceLog(const std::string& log) {
  std::vector<SystemCall> calls;
  std::map<std::string, std::string> unfinished;  // by thread: the start of its pending call
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t digits = line.find_first_not_of("0123456789");
    const std::size_t start = line.find_first_not_of(' ', digits);
    if (start == std::string::npos) continue;
    const std::string thread = line.substr(0, digits);
    std::string text = line.substr(start);
    const std::string pending = " <unfinished ...>";
    if (text.ends_with(pending)) {
      unfinished[thread] = text.substr(0, text.size() - pending.size());
      continue;
    }
    if (text.starts_with("<... ")) {
      const std::size_t resumed = text.find(" resumed>");
      const auto begun = unfinished.find(thread);
      if (resumed == std::string::npos || begun == unfinished.end()) {
        throw std::runtime_error("resumed call without its start: " + line);
      }
      text = begun->second + text.substr(resumed + std::string(" resumed>").size());
      unfinished.erase(begun);
    }
    SystemCall call;
    if (parseCall(text, call)) calls.push_back(std::move(call));
  }
  return calls;
}

std::string bytesOf(const std::string& argument) {
  if (argument.empty() || argument.front() != '"') {
    throw std::runtime_error("not a string argument: " + argument);
  }
  std::size_t end = 0;
  return quotedBytes(argument, 0, end);
}

std::string bytesOfVector(const std::string& argument) {
  std::string bytes;
  const std::string field = "iov_base=";
  for (std::size_t at = argument.find(field); at != std::string::npos; at = argument.find(field, at)) {
    std::size_t end = 0;
    bytes += quotedBytes(argument, at + field.size(), end);
    at = end;
  }
  return bytes;
}

std::string annotatedPath(const std::string& argument) {
  const std::size_t open = argument.find('<');
  if (open == std::string::npos || argument.back() != '>') return "";
  return unescape(argument, open + 1, argument.size() - 1);
}

std::int64_t numberOf(const std::string& argument) {
  return std::strtoll(argument.c_str(), nullptr, 0);
}

bool hasFlag(const std::string& argument, const std::string& flag) {
  std::istringstream flags(argument);
  for (std::string one; std::getline(flags, one, '|');) {
    if (one == flag) return true;
  }
  return false;
}

}  // namespace catpack::crash
