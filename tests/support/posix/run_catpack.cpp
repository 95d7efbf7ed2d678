// Runs catpack on POSIX: fork, redirect, exec, wait.
#include "support/run_catpack.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/temp_folder.h"

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

RunResult runCatpack(const std::vector<std::string>& arguments, const std::string& workingFolder,
                     RunOptions options) {
  TempFolder capture;
  const std::string outPath = capture.at("out");
  const std::string errPath = capture.at("err");
  std::vector<char*> argv;
  std::string program = CATPACK_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies(arguments);
  for (std::string& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = options.oneStream ? out : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
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
  int status = 0;
  if (::waitpid(child, &status, 0) != child) throw std::runtime_error("waitpid failed");
  RunResult result;
  result.out = readWhole(outPath);
  if (!options.oneStream) result.err = readWhole(errPath);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

}  // namespace catpack::testing
