// A diff whose base catalogs are paired with the result while they are read
// ends as the diff against the whole base read first: the same entries and
// markers, and the same messages in the same order.
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalog/catalog_reader.h"
#include "catalog/entry_description.h"
#include "index/base_pairing.h"
#include "index/diff.h"
#include "support/temp_folder.h"

namespace catpack {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::TempFolder;

// What a diff printed and left of the result.
struct Outcome {
  std::string out;
  std::string err;
  std::string entries;
  std::size_t baseStored = 0;
};

// Member lines over a small set of names (in either case, so that keys
// repeat within and across catalogs), sizes, times one hour apart or not,
// two digests, short lines whose digests come from the data file, deletion
// lines and lines that name no member.
std::string randomIndexText(std::mt19937& random, std::size_t bytes) {
  const char* folders[] = {"Dir", "dir", "data", "GFX"};
  const char* digests[] = {"0123456789abcdef0123456789abcdef", "fedcba9876543210fedcba9876543210"};
  std::string text;
  for (int line = 0; text.size() < bytes; ++line) {
    const std::string name = std::string(folders[random() % 4]) + std::to_string(random() % 20) +
                             "/file" + std::to_string(random() % 60) + ".xml";
    const std::string size = std::to_string(random() % 3);
    const std::string time = std::to_string(1000 + 3600 * static_cast<int>(random() % 3) + static_cast<int>(random() % 2));
    switch (random() % 12) {
      case 0: text += name + " " + size + "\n"; break;
      case 1: text += name + " 0 0 00000000000000000000000000000000\n"; break;
      case 2: text += "nonsense\n"; break;
      default: text += name + " " + size + " " + time + " " + digests[random() % 2] + "\n";
    }
  }
  return text;
}

// Reads `result` (and two folder files) and diffs it against the catalogs
// `bases`, paired as they are read or read whole first.
Outcome diffAgainst(const std::string& result, const std::vector<std::string>& bases, bool paired,
                    SameSizeCheck check, unsigned helpers) {
  Outcome outcome;
  FileIndex index;
  CaptureStdout();
  CaptureStderr();
  readCatalog(index, result);
  index.addFolderFile("dir1/file7.xml", 1, 1000, "nowhere");
  index.addFolderFile("Data2/NEW.xml", 2, 1000, "nowhere");
  FileIndex base;
  if (paired) {
    BasePairing pairing(index, check);
    for (const std::string& path : bases) readCatalog(base, path, nullptr, &pairing);
    outcome.baseStored = base.storedCount();
    applyPairedDiff(index, base, pairing, helpers);
  } else {
    for (const std::string& path : bases) readCatalog(base, path);
    outcome.baseStored = base.storedCount();
    applyDiff(index, base, helpers, check);
  }
  outcome.out = GetCapturedStdout();
  outcome.err = GetCapturedStderr();
  outcome.entries = describeEntries(index);
  return outcome;
}

TEST(PairedReading, EndsAsTheDiffAgainstTheWholeBase) {
  std::mt19937 random(29);
  TempFolder folder;
  std::size_t fewerStored = 0;
  for (int round = 0; round < 12; ++round) {
    // Long texts are read in two stretches side by side, short ones whole.
    const std::size_t longBytes = round % 3 == 0 ? (30u << 10) : (3u << 19);
    folder.write("r.cat", randomIndexText(random, 200u << 10));
    folder.write("b1.cat", randomIndexText(random, longBytes));
    folder.write("b2.cat", randomIndexText(random, 8u << 10));
    // Short lines of the first base find their bytes, or some of them.
    folder.write("b1.dat", std::string(round % 2 == 0 ? 40 : 4000, 'x'));
    const std::vector<std::string> bases = {folder.at("b1"), folder.at("b2")};
    const SameSizeCheck check = round % 4 == 1 ? SameSizeCheck::contents : SameSizeCheck::timesFirst;
    const unsigned helpers = round % 3;
    const Outcome whole = diffAgainst(folder.at("r"), bases, false, check, helpers);
    const Outcome paired = diffAgainst(folder.at("r"), bases, true, check, helpers);
    EXPECT_EQ(paired.out, whole.out) << "round " << round;
    EXPECT_EQ(paired.err, whole.err) << "round " << round;
    EXPECT_EQ(paired.entries, whole.entries) << "round " << round;
    if (paired.baseStored < whole.baseStored / 2) ++fewerStored;
    if (round == 0) {
      EXPECT_NE(whole.err, "") << "some short line's bytes cannot be had";
    }
  }
  EXPECT_EQ(fewerStored, 12u) << "most base members are settled as they are read";
}

}  // namespace
}  // namespace catpack
