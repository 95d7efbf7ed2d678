// Runs catpack on Windows: CreateProcess with both streams in files.
#include "support/run_catpack.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/temp_folder.h"

namespace catpack::testing {

namespace {

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The program's full path, resolved once against the folder the tests
// were started in.
const std::string& programPath() {
  static const std::string path = [] {
    char full[MAX_PATH];
    if (::_fullpath(full, CATPACK_BINARY, sizeof full) == nullptr) {
      throw std::runtime_error("cannot resolve the program's path");
    }
    return std::string(full);
  }();
  return path;
}

// `argument` quoted so that the runtime library's parser gives it back.
std::string quoted(const std::string& argument) {
  std::string text = "\"";
  std::size_t backslashes = 0;
  for (char byte : argument) {
    if (byte == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    text.append(byte == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    text += byte;
  }
  text.append(backslashes * 2, '\\');
  text += '"';
  return text;
}

HANDLE createCapture(const std::string& path) {
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  return file;
}

}  // namespace

bool canRunUnprivileged() { return false; }

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  TempFolder capture;
  const HANDLE out = createCapture(capture.at("out"));
  const HANDLE err = options.oneStream ? out : createCapture(capture.at("err"));
  std::string commandLine = quoted(programPath());
  for (const std::string& argument : arguments) {
    commandLine += ' ';
    commandLine += quoted(argument);
  }

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  const bool started = ::CreateProcessA(programPath().c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, workingFolder.c_str(), &startup, &process);
  ::CloseHandle(out);
  if (err != out) ::CloseHandle(err);
  if (!started) throw std::runtime_error("cannot start " + programPath());
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);

  RunResult result;
  result.out = readWhole(capture.at("out"));
  if (!options.oneStream) result.err = readWhole(capture.at("err"));
  result.exitCode = static_cast<int>(exitCode);
  return result;
}

}  // namespace catpack::testing
