#include "support/run_catpack.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace catpack::testing {

const char* const banner =
    "catpack 1.0\nCopyright (c) 2026 the catpack developers. All rights reserved.\n";

namespace {

constexpr uid_t unprivilegedId = 65534;

// Reads both pipes until each has reached its end, so that neither can
// fill up and stall the child.
void drain(int outPipe, int errPipe, std::string& out, std::string& err) {
  pollfd pipes[2] = {{outPipe, POLLIN, 0}, {errPipe, POLLIN, 0}};
  std::string* texts[2] = {&out, &err};
  int open = errPipe < 0 ? 1 : 2;
  char buffer[65536];
  while (open > 0) {
    if (::poll(pipes, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
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

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  std::vector<char*> argv;
  std::string program = CATPACK_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies(arguments);
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // Pipes rather than files collect the output, so that a file-size limit
  // applies to what the program writes and not to its messages.
  int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0 || (!options.oneStream && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int err = options.oneStream ? outPipe[1] : errPipe[1];
    if (::dup2(outPipe[1], 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (options.unprivileged && canRunUnprivileged() &&
        (::setgid(unprivilegedId) != 0 || ::setuid(unprivilegedId) != 0)) {
      ::_exit(126);
    }
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(126);
    if (options.fileSizeLimit >= 0) {
      std::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then just fails
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(outPipe[1]);
  if (errPipe[1] >= 0) ::close(errPipe[1]);
  RunResult result;
  drain(outPipe[0], errPipe[0], result.out, result.err);
  int status = 0;
  rusage usage {};
  if (::wait4(child, &status, 0, &usage) != child) throw std::runtime_error("wait4 failed");
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.peakResidentKiB = usage.ru_maxrss;
  return result;
}

}  // namespace catpack::testing
