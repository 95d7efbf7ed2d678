// Runs catpack on POSIX: fork, redirect into pipes, exec, wait.
#include "support/run_catpack.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <stdexcept>

namespace catpack::testing {

namespace {

constexpr uid_t unprivilegedId = 65534;

// Reads both pipes (-1 for none) until each has reached its end.
void drain(int outPipe, int errPipe, std::string& out, std::string& err) {
  pollfd pipes[2] = {{outPipe, POLLIN, 0}, {errPipe, POLLIN, 0}};
  std::string* texts[2] = {&out, &err};
  int open = (outPipe >= 0) + (errPipe >= 0);
  char buffer[65536];
  while (open > 0) {
    if (::poll(pipes, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (pipes[i].fd < 0 || pipes[i].revents == 0) continue;
      const ssize_t count = ::read(pipes[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        ::close(pipes[i].fd);
        pipes[i].fd = -1;
        --open;
      }
    }
  }
}

}  // namespace

bool canRunUnprivileged() { return ::geteuid() == 0; }

CatpackProcess::CatpackProcess(const std::vector<std::string>& arguments,
                               const std::string& workingFolder, RunOptions options)
    : options_(std::move(options)) {
  ProgramArguments argv(arguments);

  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
  if ((options_.standardOutput.empty() && ::pipe2(outPipe, O_CLOEXEC) != 0) ||
      (!options_.oneStream && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
    throw std::runtime_error("pipe failed");
  }
  process_ = ::fork();
  if (process_ < 0) throw std::runtime_error("fork failed");
  if (process_ == 0) {
    const int out = options_.standardOutput.empty()
                        ? outPipe[1]
                        : ::open(options_.standardOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = options_.oneStream ? out : errPipe[1];
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
    if (options_.addressSpaceLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(options_.addressSpaceLimit),
                         static_cast<rlim_t>(options_.addressSpaceLimit)};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    }
    ::execv(argv.program(), argv.vector());
    ::_exit(127);
  }
  for (const int end : {outPipe[1], errPipe[1]}) {
    if (end >= 0) ::close(end);
  }
  reader_ = std::thread(drain, outPipe[0], errPipe[0], std::ref(out_), std::ref(err_));
}

namespace {

// Collects the end of `process` when it has come; `flags` as for wait4.
bool collect(std::intptr_t process, int flags, int& status, long& peakResidentKiB) {
  rusage usage {};
  if (::wait4(static_cast<pid_t>(process), &status, flags, &usage) != process) return false;
  peakResidentKiB = usage.ru_maxrss;
  return true;
}

}  // namespace

CatpackProcess::~CatpackProcess() {
  if (!ended_) {
    ::kill(static_cast<pid_t>(process_), SIGKILL);
    collect(process_, 0, status_, peakResidentKiB_);
  }
  if (reader_.joinable()) reader_.join();
}

void CatpackProcess::signal(int signalNumber) const { ::kill(static_cast<pid_t>(process_), signalNumber); }

bool CatpackProcess::hasEnded() {
  if (!ended_) ended_ = collect(process_, WNOHANG, status_, peakResidentKiB_);
  return ended_;
}

RunResult CatpackProcess::finish() {
  if (!ended_) {
    if (!collect(process_, 0, status_, peakResidentKiB_)) throw std::runtime_error("wait4 failed");
    ended_ = true;
  }
  // The pipes end with the run (unless it handed them on).
  if (reader_.joinable()) reader_.join();
  RunResult result;
  result.out = out_;
  result.err = err_;
  result.exitCode = WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
  result.peakResidentKiB = peakResidentKiB_;
  return result;
}

}  // namespace catpack::testing
