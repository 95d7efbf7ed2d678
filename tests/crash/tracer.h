// Runs the built catpack binary under strace and reads back the system calls
// it made, across all its threads, in the order they completed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace catpack::crash {

// One completed system call of a traced run, as strace logged it.
struct SystemCall {
  std::string name;                    // e.g. "openat"
  std::vector<std::string> arguments;  // as logged: strings still escaped, descriptors annotated
  std::int64_t result = 0;             // the return value; -1 when the call failed
  bool injected = false;               // strace made the call fail on purpose
};

// What a traced run did.
struct TracedRun {
  std::string err;  // catpack's standard error (strace itself stays quiet)
  int exitCode = -1;
  std::vector<SystemCall> calls;  // in the order they completed
};

// The trace set (strace's -e trace=) of every call that can change a file,
// a name, a descriptor's position or what is durable. Write-back hints such
// as sync_file_range make nothing durable and are left out. A copy between
// files is traced so that a run the model cannot follow (it never sees the
// bytes copied) fails instead of being judged on what the model guessed.
extern const char* const fileChangingCalls;

// Runs catpack with `arguments` in `workingFolder` under strace -f -y -qq -xx
// with a long string limit, and `straceOptions` (the trace set, injections)
// added; its standard output goes nowhere. Throws when strace is not
// installed, saying to install it.
TracedRun traceCatpack(const std::vector<std::string>& straceOptions,
                       const std::vector<std::string>& arguments, const std::string& workingFolder);

// The calls of a log that strace -f -y -xx wrote, in completion order: a call
// that another thread's line split into "<unfinished ...>" and "<... resumed>"
// counts where it resumed. Calls that never completed are left out.
std::vector<SystemCall> parseStraceLog(const std::string& log);

// The bytes of a logged string argument ("\x61\x62"). Throws when strace cut
// it short.
std::string bytesOf(const std::string& argument);

// The bytes of every iov_base of a logged iovec array, end to end.
std::string bytesOfVector(const std::string& argument);

// The path a descriptor argument is annotated with: "/tmp/x" for
// "3<\x2f\x74\x6d\x70\x2f\x78>" or "AT_FDCWD<...>"; empty when there is none.
std::string annotatedPath(const std::string& argument);

// The number a logged argument starts with (a descriptor, size or offset).
std::int64_t numberOf(const std::string& argument);

// Whether a logged flag set ("O_WRONLY|O_CREAT") holds `flag`.
bool hasFlag(const std::string& argument, const std::string& flag);

}  // namespace catpack::crash
