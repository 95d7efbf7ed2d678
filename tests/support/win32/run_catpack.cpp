// Runs catpack on Windows: CreateProcess with both streams in files.
#include "support/run_catpack.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

CatpackProcess::CatpackProcess(const std::vector<std::string>& arguments,
                               const std::string& workingFolder, RunOptions options)
    : options_(std::move(options)) {
  char base[MAX_PATH];
  if (::GetTempPathA(sizeof base, base) == 0) throw std::runtime_error("no temporary folder");
  for (unsigned attempt = 0; captureFolder_.empty(); ++attempt) {
    const std::string candidate = std::string(base) + "catpack-run-" +
                                  std::to_string(::GetCurrentProcessId()) + "-" +
                                  std::to_string(::GetTickCount()) + "-" + std::to_string(attempt);
    if (::CreateDirectoryA(candidate.c_str(), nullptr)) captureFolder_ = candidate;
    if (attempt > 1000) throw std::runtime_error("cannot make a capture folder");
  }
  const HANDLE out = createCapture(
      options_.standardOutput.empty() ? captureFolder_ + "\\out" : options_.standardOutput);
  const HANDLE err = options_.oneStream ? out : createCapture(captureFolder_ + "\\err");
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
  ::CloseHandle(process.hThread);
  process_ = reinterpret_cast<std::intptr_t>(process.hProcess);
}

CatpackProcess::~CatpackProcess() {
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  if (!ended_) {
    ::TerminateProcess(process, 1);
    ::WaitForSingleObject(process, INFINITE);
  }
  ::CloseHandle(process);
  std::error_code ignored;
  std::filesystem::remove_all(captureFolder_, ignored);
}

void CatpackProcess::signal(int) const {
  throw std::logic_error("POSIX signals cannot be sent to a Windows process");
}

bool CatpackProcess::hasEnded() {
  if (!ended_ && ::WaitForSingleObject(reinterpret_cast<HANDLE>(process_), 0) == WAIT_OBJECT_0) {
    ended_ = true;
  }
  return ended_;
}

RunResult CatpackProcess::finish() {
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  ::WaitForSingleObject(process, INFINITE);
  ended_ = true;
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process, &exitCode);
  RunResult result;
  if (options_.standardOutput.empty()) result.out = readWhole(captureFolder_ + "\\out");
  if (!options_.oneStream) result.err = readWhole(captureFolder_ + "\\err");
  result.exitCode = static_cast<int>(exitCode);
  return result;
}

}  // namespace catpack::testing
