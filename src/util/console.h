// Progress and error messages. Standard output is buffered for speed and
// flushed before anything goes to standard error, so both streams keep the
// order of events even when they end up in one pipe or file.
#pragma once

namespace catpack {

// Prints a progress message on standard output.
void printOut(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints an error message on standard error, after flushing standard output.
void printErr(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes out whatever standard output still holds; false when anything
// written to standard output during the run could not be written.
bool flushConsole();

}  // namespace catpack
