// Folder output from catalogs whose names try to leave the output folder or
// to upset the paths built from them. Nothing may appear outside the output
// folder, and every name that may be written lands where it should, with its
// bytes and time.
#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/external_tools.h"
#include "support/run_catpack.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using testing::banner;
using testing::RunResult;
using testing::runCatpack;
using testing::TempFolder;

// What becomes of one name.
enum class Fate { refused, lands, cannotBeOpened };

struct HostileName {
  std::string name;
  Fate fate;
  std::string landing;  // where it lands below the output folder, or the target path that fails
};

std::string bytesFrom(int first, int last, const std::set<int>& left) {
  std::string bytes;
  for (int byte = first; byte <= last; ++byte) {
    if (left.count(byte) == 0) bytes += static_cast<char>(byte);
  }
  return bytes;
}

std::vector<HostileName> hostileNames(const std::string& absoluteName) {
  const std::string level250a(250, 'a');
  const std::string level250b = std::string(246, 'b') + ".txt";
  const std::string control = "ctl-" + bytesFrom(1, 31, {'\n', '\r'}) + ".txt";
  const std::string high = "hi-" + bytesFrom(128, 255, {}) + ".bin";
  const Fate colon = platform::refusesColonInNames() ? Fate::refused : Fate::lands;
  return {
      {"", Fate::refused, ""},
      {"..", Fate::refused, ""},
      {"../up.txt", Fate::refused, ""},
      {"../../up2.txt", Fate::refused, ""},
      {"a/../../x.txt", Fate::refused, ""},
      {"a/../inside.txt", Fate::refused, ""},
      {"a/..", Fate::refused, ""},
      {"..\\w.txt", Fate::refused, ""},
      {"m\\..\\..\\y.txt", Fate::refused, ""},
      {"/" + absoluteName, Fate::refused, ""},
      {"\\" + absoluteName, Fate::refused, ""},
      {"a//b.txt", Fate::lands, "a/b.txt"},
      {"./dot.txt", Fate::lands, "dot.txt"},
      {"c/./d.txt", Fate::lands, "c/d.txt"},
      {"...", Fate::lands, "..."},
      {"..x/.y", Fate::lands, "..x/.y"},
      {"e\\f.txt", Fate::lands, "e/f.txt"},
      {"sp ace/ lead and trail .txt ", Fate::lands, "sp ace/ lead and trail .txt "},
      {level250a + "/" + level250b, Fate::lands, level250a + "/" + level250b},
      {control, Fate::lands, control},
      {high, Fate::lands, high},
      {"g:/colon.txt", colon, "g:/colon.txt"},
      {"h:stream.txt", colon, "h:stream.txt"},
      {".", Fate::cannotBeOpened, "."},
      {"trail/", Fate::cannotBeOpened, "trail/"},
  };
}

std::string keyOf(std::string name) {
  for (char& byte : name) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return name;
}

// The listing lines of `listing` that do not lie below `prefix`.
std::string outside(const std::string& listing, const std::string& prefix) {
  std::string kept;
  for (std::size_t at = 0, end; (end = listing.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = listing.substr(at, end - at + 1);
    if (line.compare(0, prefix.size(), prefix) != 0) kept += line;
  }
  return kept;
}

TEST(HostileNames, NothingLeavesTheOutputFolderAndEveryLegalNameLands) {
  TempFolder folder;
  // A name at the root of the file system that no one else uses.
  const std::string absoluteName = "catpack-hostile-" + std::to_string(::getpid()) + ".txt";
  const std::vector<HostileName> names = hostileNames(absoluteName);

  std::string index, data;
  std::map<std::string, std::pair<std::string, std::int64_t>> written;  // name: bytes, time
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string bytes = "bytes of member " + std::to_string(i);
    const std::int64_t time = 1000000 + static_cast<std::int64_t>(i) * 1000;
    index += names[i].name + " " + std::to_string(bytes.size()) + " " + std::to_string(time) + " " +
             testing::md5sumOfBytes(bytes) + "\n";
    data += bytes;
    written[names[i].name] = {bytes, time};
  }
  folder.write("hostile.cat", index);
  folder.write("hostile.dat", data);
  folder.makeFolder("top/out");
  folder.write("top/neighbour.txt", "stays");
  const std::string listingBefore = folder.listing();

  std::vector<HostileName> inKeyOrder = names;
  std::stable_sort(inKeyOrder.begin(), inKeyOrder.end(), [](const HostileName& a, const HostileName& b) {
    return keyOf(a.name) < keyOf(b.name);
  });
  std::string expectedErr;
  std::set<std::string> expectedInside;
  for (const HostileName& name : inKeyOrder) {
    if (name.fate == Fate::refused) {
      expectedErr += "Refusing to write file " + name.name + " outside folder top/out\n";
      continue;
    }
    // Every level folder on the way is made, also for a target that then fails.
    for (std::size_t at = name.landing.find('/'); at != std::string::npos; at = name.landing.find('/', at + 1)) {
      expectedInside.insert("top/out/" + name.landing.substr(0, at) + "/");
    }
    if (name.fate == Fate::lands) {
      expectedInside.insert("top/out/" + name.landing);
    } else {
      expectedErr += "Failed to open file 'top/out/" + name.landing + "' for writing\n"
                     "Failed writing file " + name.name + " to folder top/out\n";
    }
  }

  const RunResult result = runCatpack({"-in", "hostile.cat", "-out", "top/out"}, folder.path());
  EXPECT_EQ(result.out, banner + std::string("Reading from catalog hostile\n"
                                             "Done - Max filename size: 501, filename: ") +
                            names[18].name + "\nWriting to Folder top/out\n");
  EXPECT_EQ(result.err, expectedErr);
  EXPECT_EQ(result.exitCode, 0);

  const std::string listingAfter = folder.listing();
  EXPECT_EQ(outside(listingAfter, "top/out/"), outside(listingBefore, "top/out/"))
      << "nothing appears outside the output folder";
  EXPECT_FALSE(std::filesystem::exists("/" + absoluteName));
  std::string expectedListing = "top/out/\n";
  for (const std::string& path : expectedInside) expectedListing += path + "\n";
  std::string insideListing;
  for (std::size_t at = 0, end; (end = listingAfter.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = listingAfter.substr(at, end - at + 1);
    if (line.compare(0, 8, "top/out/") == 0) insideListing += line;
  }
  EXPECT_EQ(insideListing, expectedListing);

  for (const HostileName& name : names) {
    if (name.fate != Fate::lands) continue;
    const std::string target = "top/out/" + name.landing;
    EXPECT_EQ(folder.read(target), written[name.name].first) << name.name;
    EXPECT_EQ(folder.modificationTime(target), written[name.name].second) << name.name;
  }
}

}  // namespace
}  // namespace catpack
