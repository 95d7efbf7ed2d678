#include "util/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace catpack {

std::size_t countLineFeeds(const unsigned char* bytes, std::size_t length) {
  std::size_t count = 0;
  if (length == 0) return count;  // an empty text may have no bytes at all
  const unsigned char* const end = bytes + length;
  for (const void* feed = std::memchr(bytes, '\n', length); feed != nullptr;
       feed = std::memchr(static_cast<const unsigned char*>(feed) + 1, '\n',
                          static_cast<std::size_t>(end - (static_cast<const unsigned char*>(feed) + 1)))) {
    ++count;
  }
  return count;
}

std::string formatText(const char* format, ...) {
  char small[128];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(small, sizeof small, format, arguments);
  va_end(arguments);
  if (length < 0) return std::string();
  if (static_cast<std::size_t>(length) < sizeof small) return std::string(small, length);

  std::string result(static_cast<std::size_t>(length), '\0');
  va_start(arguments, format);
  std::vsnprintf(result.data(), result.size() + 1, format, arguments);
  va_end(arguments);
  return result;
}

std::string& lowerCase(std::string& text) {
  for (char& byte : text) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return text;
}

std::string lowerCased(std::string text) {
  lowerCase(text);
  return text;
}

bool isCatalogPath(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  return lowerCased(path.substr(dot + 1)) == "cat";
}

std::string catalogBasePath(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return path;
  if (path.find_first_of("/\\", dot + 1) != std::string::npos) return path;
  return path.substr(0, dot);
}

std::string programName(const std::string& path) {
  std::size_t separator = path.rfind('\\');
  if (separator == std::string::npos) separator = path.rfind('/');
  if (separator == std::string::npos) return path;
  return path.substr(separator + 1);
}

}  // namespace catpack
