// Runs catpack on POSIX: fork, redirect, exec, wait.
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

  process_ = ::fork();
  if (process_ < 0) throw std::runtime_error("fork failed");
  if (process_ == 0) {
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
    ::kill(process_, SIGKILL);
    ::waitpid(process_, &status_, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(captureFolder_, ignored);
}

void CatpackProcess::signal(int signalNumber) const { ::kill(process_, signalNumber); }

bool CatpackProcess::hasEnded() {
  if (!ended_ && ::waitpid(process_, &status_, WNOHANG) == process_) ended_ = true;
  return ended_;
}

RunResult CatpackProcess::finish() {
  if (!ended_) {
    if (::waitpid(process_, &status_, 0) != process_) throw std::runtime_error("waitpid failed");
    ended_ = true;
  }
  RunResult result;
  if (options_.standardOutput.empty()) result.out = readWhole(captureFolder_ + "/out");
  if (!options_.oneStream) result.err = readWhole(captureFolder_ + "/err");
  result.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  return result;
}

}  // namespace catpack::testing
