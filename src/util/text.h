// Small operations on byte texts and path names shared by every module.
#pragma once

#include <cstddef>
#include <string>

namespace catpack {

// How many line feeds ("\n") the `length` bytes at `bytes` hold.
std::size_t countLineFeeds(const unsigned char* bytes, std::size_t length);

// printf-style formatting into a new text; the output is never cut.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Maps the bytes 'A' to 'Z' onto 'a' to 'z' in place; every other byte stays.
std::string& lowerCase(std::string& text);

// Copy of `text` passed through lowerCase.
std::string lowerCased(std::string text);

// True when the text after the path's last "." is "cat" in any letter case.
bool isCatalogPath(const std::string& path);

// The path without its extension, when the last "." is not followed by a
// "/" or "\"; otherwise the path unchanged.
std::string catalogBasePath(const std::string& path);

// What follows the last "\" of the path, or else the last "/", or else the
// whole path: the name by which the program was started.
std::string programName(const std::string& path);

}  // namespace catpack
