#include "util/console.h"

#include <cstdarg>
#include <cstdio>

#include "util/progress.h"

namespace catpack {

void printOut(const char* format, ...) {
  eraseStatusLine();
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stdout, format, arguments);
  va_end(arguments);
}

void printErr(const char* format, ...) {
  eraseStatusLine();
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

bool flushConsole() { return std::fflush(stdout) == 0 && std::ferror(stdout) == 0; }

}  // namespace catpack
