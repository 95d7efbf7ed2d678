#include "util/console.h"

#include <cstdarg>
#include <cstdio>

#include "util/progress.h"

namespace catpack {

namespace {

// Where printErr puts its text on this thread instead of standard error.
thread_local std::string* capturedErr = nullptr;

void appendFormatted(std::string& into, const char* format, va_list arguments) {
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  if (length <= 0) return;
  const std::size_t start = into.size();
  into.resize(start + static_cast<std::size_t>(length) + 1);
  std::vsnprintf(into.data() + start, static_cast<std::size_t>(length) + 1, format, arguments);
  into.resize(start + static_cast<std::size_t>(length));
}

}  // namespace

void printOut(const char* format, ...) {
  eraseStatusLine();
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stdout, format, arguments);
  va_end(arguments);
}

void writeOut(const char* bytes, std::size_t length) {
  if (length != 0) std::fwrite(bytes, 1, length, stdout);
}

void printErr(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  if (capturedErr != nullptr) {
    appendFormatted(*capturedErr, format, arguments);
  } else {
    eraseStatusLine();
    std::fflush(stdout);
    std::vfprintf(stderr, format, arguments);
  }
  va_end(arguments);
}

bool flushConsole() { return std::fflush(stdout) == 0 && std::ferror(stdout) == 0; }

MessageCapture::MessageCapture(std::string& into) : previous_(capturedErr) { capturedErr = &into; }

MessageCapture::~MessageCapture() { capturedErr = previous_; }

void printCapturedErr(const std::string& text) {
  if (!text.empty()) printErr("%s", text.c_str());
}

}  // namespace catpack
