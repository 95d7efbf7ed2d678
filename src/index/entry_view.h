// How the rest of the program reads one entry of a FileIndex: its fields as
// plain values and its texts as views into the index's own storage.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace catpack {

// A NUL-terminated text held elsewhere (by an index or an entry); valid as
// long as its holder is left unchanged.
class EntryText {
 public:
  constexpr EntryText() = default;
  // `bytes` must hold a NUL at `length`.
  constexpr EntryText(const char* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

  const char* c_str() const { return bytes_; }
  const char* data() const { return bytes_; }
  std::size_t size() const { return length_; }
  bool empty() const { return length_ == 0; }

  operator std::string_view() const { return {bytes_, length_}; }
  operator std::string() const { return {bytes_, length_}; }

  friend bool operator==(EntryText text, std::string_view other) {
    return std::string_view(text) == other;
  }

 private:
  const char* bytes_ = "";
  std::size_t length_ = 0;
};

// Joining a text with others, as for the paths of an entry's source.
inline std::string operator+(EntryText text, const char* suffix) {
  return std::string(text) + suffix;
}
inline std::string operator+(std::string prefix, EntryText text) {
  return prefix.append(text.data(), text.size());
}

// Prints the text (for test reports).
std::ostream& operator<<(std::ostream& stream, EntryText text);

// The fields of one file (see FileEntry for their meaning).
struct EntryView {
  EntryText name;
  std::int32_t size = 0;
  std::int64_t time = 0;
  EntryText folder;
  bool inCatalog = false;
  bool scrambled = false;
  EntryText catalog;
  std::uint64_t offset = 0;
  EntryText digest;
};

// A deletion marker stands for a file to delete: size and time both 0.
inline bool isDeletionMarker(const EntryView& entry) { return entry.size == 0 && entry.time == 0; }

}  // namespace catpack
