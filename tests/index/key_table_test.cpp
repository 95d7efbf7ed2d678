// The key table finds the same entry for every key, and marks the same
// slots replaced, whether it is filled on one thread or on two.
#include "index/key_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace catpack {
namespace {

std::string lowerCasedForTest(std::string name) {
  for (char& byte : name) byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
  return name;
}

// A big index whose keys repeat, near each other and far apart (in the
// other half of the slots too), in other case, with some slots erased.
class KeyTableFilling : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(29);
    const std::string digest(32, 'a');
    for (std::size_t slot = 0; slot < 70000; ++slot) {
      std::string name;
      const unsigned shape = random() % 10;
      if (shape == 0 && !names_.empty()) {
        name = names_[random() % names_.size()];  // again, anywhere before
      } else if (shape == 1 && !names_.empty()) {
        name = names_.back();  // again, right behind
      } else {
        name = "Dir" + std::to_string(random() % 40) + "/file" + std::to_string(random() % 60000);
      }
      if (random() % 7 == 0) name = lowerCasedForTest(name);
      names_.push_back(name);
      index_.addCatalogMember(name, 1, 2, "c", 0, digest, false);
    }
    for (std::size_t slot = 0; slot < names_.size(); slot += 97) {
      index_.eraseStored(slot);
      erased_.push_back(slot);
    }
    // What every key should come to: its last stored slot; the others of
    // its slots are replaced.
    std::map<std::string, std::vector<std::size_t>> slotsOfKey;
    for (std::size_t slot = 0; slot < names_.size(); ++slot) {
      if (std::binary_search(erased_.begin(), erased_.end(), slot)) continue;
      slotsOfKey[lowerCasedForTest(names_[slot])].push_back(slot);
    }
    for (const auto& [key, slots] : slotsOfKey) {
      lastSlot_[key] = slots.back();
      replaced_.insert(replaced_.end(), slots.begin(), slots.end() - 1);
    }
    std::sort(replaced_.begin(), replaced_.end());
  }

  // Checks everything `table` says against what the keys should come to.
  void expectExact(const KeyTable& table) const {
    EXPECT_EQ(table.entryCount(), lastSlot_.size());
    const std::vector<std::uint32_t>& replaced = table.replacedSlots();
    EXPECT_TRUE(std::equal(replaced.begin(), replaced.end(), replaced_.begin(), replaced_.end()));
    std::size_t wrong = 0;
    for (const auto& [key, slot] : lastSlot_) {
      const std::string_view view = key;
      std::size_t found = KeyTable::none;
      table.findAll(&view, 1, &found);
      if (found != slot) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    std::size_t holding = 0;
    for (std::size_t slot = 0; slot < names_.size(); ++slot) holding += table.holdsEntry(slot) ? 1 : 0;
    EXPECT_EQ(holding, lastSlot_.size());
    const std::string_view absent = "dir1/no such file";
    std::size_t found = 0;
    table.findAll(&absent, 1, &found);
    EXPECT_EQ(found, KeyTable::none);
  }

  FileIndex index_;
  std::vector<std::string> names_;
  std::vector<std::size_t> erased_;
  std::map<std::string, std::size_t> lastSlot_;
  std::vector<std::size_t> replaced_;
};

TEST_F(KeyTableFilling, OneThreadKeepsTheLastSlotOfEveryKey) { expectExact(KeyTable(index_, 0)); }

TEST_F(KeyTableFilling, TwoThreadsGiveWhatOneGives) {
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    expectExact(KeyTable(index_, 1));
  }
}

TEST(KeyTable, ASmallIndexIsFilledOnOneThreadAlike) {
  FileIndex index;
  const std::string digest(32, 'b');
  for (const char* name : {"a", "B", "b", "c", "A"}) index.addCatalogMember(name, 1, 2, "c", 0, digest, false);
  const KeyTable table(index, 1);
  EXPECT_EQ(table.entryCount(), 3u);
  EXPECT_EQ(table.replacedSlots(), (std::vector<std::uint32_t>{0, 1}));
  const std::string_view keys[] = {"a", "b", "c", "d"};
  std::size_t slots[4];
  table.findAll(keys, 4, slots);
  EXPECT_EQ(slots[0], 4u);
  EXPECT_EQ(slots[1], 2u);
  EXPECT_EQ(slots[2], 3u);
  EXPECT_EQ(slots[3], KeyTable::none);
}

}  // namespace
}  // namespace catpack
