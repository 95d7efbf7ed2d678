// Entries built from one input are written as a catalog and read back. Every
// member must come back with its name, size, time (current format) and
// bytes, or be left out as refused; the index must read as the format it was
// written in.
//
// Input: one byte of mode (bit 0: old format; bit 1: the records after the
// first half are appended in a second run; bit 2: digests are worked out by
// a helper thread, as on a machine with several cores), then records separated by NUL
// bytes. A record is a size byte, an offset byte, a time byte, a flags byte
// (bit 0: the source bytes are scrambled) and the name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/catalog_reader.h"
#include "catalog/catalog_writer.h"
#include "digest/md5.h"
#include "fuzz_check.h"
#include "index/entry_content.h"
#include "scratch_path.h"
#include "util/loading.h"
#include "util/text.h"

namespace {

using catpack::fuzzing::check;

constexpr std::size_t sourceLength = 512;

// A folder of its own for the process, holding the source data file; it is
// removed with everything in it when the process ends.
class Workspace {
 public:
  Workspace() : path_(catpack::fuzzing::scratchPath("catpack-round-trip-")) {
    std::filesystem::create_directories(path_);
    for (std::size_t i = 0; i < sourceLength; ++i) source_.push_back(static_cast<char>(i * 7 + i / 256));
    std::FILE* file = std::fopen((sourceBase() + ".dat").c_str(), "wb");
    check(file != nullptr && std::fwrite(source_.data(), 1, source_.size(), file) == source_.size() &&
              std::fclose(file) == 0,
          "the source data file can be written");
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  std::string sourceBase() const { return path_ + "/source"; }
  std::string outputBase() const { return path_ + "/out"; }
  // The stored bytes of the source data file.
  const std::string& source() const { return source_; }

 private:
  std::string path_;
  std::string source_;
};

std::string underDataKey(std::string bytes) {
  for (char& byte : bytes) byte = static_cast<char>(byte ^ catpack::dataKey);
  return bytes;
}

// The index of the records in `records`.
catpack::FileIndex indexOf(const std::vector<std::string>& records, const std::string& sourceBase) {
  catpack::FileIndex index;
  for (const std::string& record : records) {
    const auto size = static_cast<unsigned char>(record[0]);
    const std::uint64_t offset = static_cast<unsigned char>(record[1]);
    const std::int64_t time = static_cast<unsigned char>(record[2]) * 1000003;
    const bool scrambled = (record[3] & 1) != 0;
    index.addCatalogMember(record.substr(4), size, time, sourceBase, offset, "", scrambled);
  }
  return index;
}

// The plain bytes an entry of the source stands for.
std::string plainBytesOf(const catpack::EntryView& entry, const std::string& source) {
  const std::string stored = source.substr(entry.offset, static_cast<std::uint32_t>(entry.size));
  return entry.scrambled ? underDataKey(stored) : stored;
}

// Whether `member`, read back from a catalog whose data file holds
// `written`, is the written `entry`.
bool isWrittenEntry(const catpack::EntryView& member, const catpack::FileIndex::Found& entry, bool oldFormat,
                    const std::string& written, const std::string& source) {
  if (!entry || std::string_view(member.name) != std::string_view(entry->name) || member.size != entry->size) {
    return false;
  }
  if (!oldFormat && member.time != static_cast<std::int32_t>(entry->time)) return false;
  const auto size = static_cast<std::uint32_t>(member.size);
  if (member.offset + size > written.size()) return false;
  std::string bytes = written.substr(member.offset, size);
  if (oldFormat) bytes = underDataKey(bytes);
  const std::string expected = plainBytesOf(*entry, source);
  if (bytes != expected) return false;
  return oldFormat || std::string_view(member.digest) == catpack::md5HexOfBuffer(expected.data(), size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Workspace workspace;
  if (size == 0) return 0;
  const bool oldFormat = (data[0] & 1) != 0;
  const bool appendHalf = (data[0] & 2) != 0;
  const unsigned helpers = (data[0] & 4) != 0 ? 1 : 0;
  std::vector<std::string> records;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (std::size_t start = 0; start <= input.size();) {
    std::size_t end = input.find('\0', start);
    if (end == std::string::npos) end = input.size();
    if (end - start >= 4) records.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  const std::size_t firstRun = appendHalf ? records.size() / 2 : records.size();
  const catpack::FileIndex first =
      indexOf({records.begin(), records.begin() + firstRun}, workspace.sourceBase());
  const catpack::FileIndex second =
      indexOf({records.begin() + firstRun, records.end()}, workspace.sourceBase());

  check(catpack::writeCatalog(first, workspace.outputBase(), false, oldFormat, helpers), "a new catalog is written");
  if (appendHalf) {
    check(catpack::writeCatalog(second, workspace.outputBase(), true, !oldFormat, helpers), "a catalog is appended to");
  }
  check(catpack::isOldCatalog(workspace.outputBase()) == oldFormat, "the index reads as its own format");

  catpack::FileIndex readBack;
  check(catpack::readCatalog(readBack, workspace.outputBase()), "the index can be read");
  const std::optional<catpack::ByteBuffer> loaded = catpack::loadFile(workspace.outputBase() + ".dat");
  check(loaded.has_value(), "the data file can be read");
  const std::string written(reinterpret_cast<const char*>(loaded->data()), loaded->size());
  for (const auto& [key, member] : readBack) {
    check(isWrittenEntry(member, second.find(key), oldFormat, written, workspace.source()) ||
              isWrittenEntry(member, first.find(key), oldFormat, written, workspace.source()),
          "every member read back is a written entry, with its bytes");
  }
  return 0;
}
