// Progress and error messages. Standard output is buffered for speed and
// flushed before anything goes to standard error, so both streams keep the
// order of events even when they end up in one pipe or file. A progress
// status line on a terminal is erased before either prints.
#pragma once

#include <cstddef>
#include <string>

namespace catpack {

// Prints a progress message on standard output.
void printOut(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes `length` bytes as they are on standard output, in order with the
// progress messages.
void writeOut(const char* bytes, std::size_t length);

// Prints an error message on standard error, after flushing standard output.
void printErr(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes out whatever standard output still holds; false when anything
// written to standard output during the run could not be written.
bool flushConsole();

// While it lives, printErr on the thread that made it appends to `into`
// instead of printing: a helper thread's messages are kept so that the
// walking thread can print them where they belong in the order of events.
class MessageCapture {
 public:
  explicit MessageCapture(std::string& into);
  ~MessageCapture();
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

 private:
  std::string* previous_;
};

// Prints error text kept by a MessageCapture as printErr would have.
void printCapturedErr(const std::string& text);

}  // namespace catpack
