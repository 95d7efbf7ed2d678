#include "support/run_on_terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/run_catpack.h"

namespace catpack::testing {

namespace {

// Every byte that arrives at `master` until no process holds the terminal;
// `interruption`, when set, goes to `pid` once a carriage return arrived.
std::string drain(int master, pid_t pid, int interruption) {
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got > 0) {
      bytes.append(buffer, static_cast<std::size_t>(got));
      if (interruption != 0 && bytes.find('\r') != std::string::npos) {
        ::kill(pid, interruption);
        interruption = 0;
      }
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return bytes;  // EIO once the last holder of the other side is gone
    }
  }
}

std::string readAll(std::FILE* file) {
  std::string bytes;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.append(buffer, got);
  }
  return bytes;
}

}  // namespace

TerminalRunResult runOnTerminal(const std::vector<std::string>& arguments,
                                const std::string& workingFolder, OnTerminal streams,
                                int interruption) {
  termios settings{};
  ::cfmakeraw(&settings);
  int master = -1;
  int slave = -1;
  if (::openpty(&master, &slave, nullptr, &settings, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  std::FILE* otherStream = std::tmpfile();
  if (otherStream == nullptr) throw std::runtime_error("tmpfile failed");
  ProgramArguments argv(arguments);

  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int other = ::fileno(otherStream);
    const int out = streams == OnTerminal::standardErrorOnly ? other : slave;
    const int err = streams == OnTerminal::standardOutputOnly ? other : slave;
    if (::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    ::close(master);
    ::close(slave);
    if (::chdir(workingFolder.c_str()) != 0) ::_exit(126);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, SIG_DFL);
    ::execv(argv.program(), argv.vector());
    ::_exit(127);
  }
  ::close(slave);
  TerminalRunResult result;
  result.terminal = drain(master, pid, interruption);
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.other = readAll(otherStream);
  std::fclose(otherStream);
  return result;
}

std::string screenText(const std::string& bytes) {
  std::vector<std::string> lines(1);
  std::size_t column = 0;
  for (const char byte : bytes) {
    if (byte == '\r') {
      column = 0;
    } else if (byte == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      std::string& line = lines.back();
      if (line.size() <= column) line.resize(column + 1, ' ');
      line[column++] = byte;
    }
  }
  std::string text;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    const std::size_t end = lines[at].find_last_not_of(' ');
    if (at != 0) text += '\n';
    if (end != std::string::npos) text.append(lines[at], 0, end + 1);
  }
  return text;
}

}  // namespace catpack::testing
