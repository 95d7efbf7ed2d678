#include "util/console.h"

#include <cstdarg>
#include <cstdio>

namespace catpack {

void printOut(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stdout, format, arguments);
  va_end(arguments);
}

void printErr(const char* format, ...) {
  std::fflush(stdout);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
}

bool flushConsole() { return std::fflush(stdout) == 0 && std::ferror(stdout) == 0; }

}  // namespace catpack
