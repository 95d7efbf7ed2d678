#include "support/run_catpack.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>


namespace catpack::testing {

const char* const banner =
    "catpack 1.0\nCopyright (c) 2026 the catpack developers. All rights reserved.\n";

namespace {

constexpr uid_t unprivilegedId = 65534;

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

bool canRunUnprivileged() { return ::geteuid() == 0; }

CatpackProcess::CatpackProcess(const std::vector<std::string>& arguments,
                               const std::string& workingFolder, RunOptions options)
    : options_(std::move(options)) {
  std::string pattern = (std::filesystem::temp_directory_path() / "catpack-run-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  captureFolder_ = pattern;
  const std::string outPath =
      options_.standardOutput.empty() ? captureFolder_ + "/out" : options_.standardOutput;
  const std::string errPath = captureFolder_ + "/err";
  std::vector<char*> argv;
  std::string program = CATPACK_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies(arguments);
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err =
        options_.oneStream ? out : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (options_.unprivileged && canRunUnprivileged() &&
        (::setgid(unprivilegedId) != 0 || ::setuid(unprivilegedId) != 0)) {
      ::_exit(126);
    }
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(126);
    // As from a terminal, whatever the test runner ignores or blocks.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (options_.fileSizeLimit >= 0) {
      std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then just fails
      const rlimit limit{static_cast<rlim_t>(options_.fileSizeLimit),
                         static_cast<rlim_t>(options_.fileSizeLimit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
}

CatpackProcess::~CatpackProcess() {
  if (!ended_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(captureFolder_, ignored);
}

void CatpackProcess::signal(int signalNumber) const { ::kill(pid_, signalNumber); }

bool CatpackProcess::hasEnded() {
  if (!ended_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
  return ended_;
}

RunResult CatpackProcess::finish() {
  if (!ended_) {
    if (::waitpid(pid_, &status_, 0) != pid_) throw std::runtime_error("waitpid failed");
    ended_ = true;
  }
  RunResult result;
  if (options_.standardOutput.empty()) result.out = readWhole(captureFolder_ + "/out");
  if (!options_.oneStream) result.err = readWhole(captureFolder_ + "/err");
  result.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  return result;
}

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  return CatpackProcess(arguments, workingFolder, std::move(options)).finish();
}

}  // namespace catpack::testing
