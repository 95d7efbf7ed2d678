#include "support/external_tools.h"

#include "support/temp_folder.h"

namespace catpack::testing {

namespace {
// Stored catalogs depend on these two values; they must never change.
constexpr unsigned char indexKeyConstant = 0x37;
constexpr unsigned char dataKey = 0x4B;
}  // namespace

std::string md5sumOfBytes(const std::string& bytes) {
  TempFolder folder;
  folder.write("bytes", bytes);
  return md5sumOf(folder.at("bytes"));
}

std::string currentIndexLine(const std::string& name, const std::string& bytes, int time) {
  return name + " " + std::to_string(bytes.size()) + " " + std::to_string(time) + " " +
         md5sumOfBytes(bytes) + "\n";
}

std::string oldIndexText(const std::string& text, std::size_t position) {
  std::string scrambled = text;
  for (std::size_t i = 0; i < scrambled.size(); ++i) {
    scrambled[i] = static_cast<char>(scrambled[i] ^ static_cast<char>((position + i - indexKeyConstant) & 0xFF));
  }
  return scrambled;
}

std::string underDataKey(std::string bytes) {
  for (char& byte : bytes) byte = static_cast<char>(byte ^ dataKey);
  return bytes;
}

}  // namespace catpack::testing
