// The index against a plain ordered map of whole entries: random adds from
// several sources, erasures during walks, keys of every byte value.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/catalog_members.h"
#include "index/file_index.h"
#include "util/text.h"

namespace catpack {
namespace {

using Model = std::map<std::string, FileEntry>;

// Every field of every entry, in walk order, as one text.
std::string describe(const std::string& key, const EntryView& entry) {
  return key + "|" + std::string(entry.name) + "|" + std::to_string(entry.size) + "|" +
         std::to_string(entry.time) + "|" + std::string(entry.folder) + "|" +
         std::to_string(entry.inCatalog) + std::to_string(entry.scrambled) + "|" +
         std::string(entry.catalog) + "|" + std::to_string(entry.offset) + "|" +
         std::string(entry.digest) + "\n";
}

std::string describe(const FileIndex& index) {
  std::string text;
  for (const auto& [key, entry] : index) text += describe(key, entry);
  return text;
}

std::string describe(const Model& model) {
  std::string text;
  for (const auto& [key, entry] : model) text += describe(key, entry);
  return text;
}

// A catalog index text held the way the reader hands it over: each name
// ends in a NUL written over the byte behind it, followed by its digest, if
// any, and a NUL written over the byte behind that.
struct TextMember {
  std::string name;
  std::int32_t size;
  std::int64_t time;
  std::uint64_t offset;
  std::string digest;  // empty or 32 bytes
};

// Adds the members in two stretches, cut before member `cut`, as a reader on
// two threads does: the second stretch counts data offsets from its own
// start. The stretches are given room for `room` members each, too little or
// too much at times.
void addText(FileIndex& index, const std::string& base, const std::vector<TextMember>& members,
             bool scrambled, std::size_t cut, const std::vector<std::size_t>& room) {
  std::string text;
  std::vector<std::pair<std::size_t, std::size_t>> places;  // name, digest offsets
  for (const TextMember& member : members) {
    const std::size_t name = text.size();
    text += member.name + " ";
    std::size_t digest = 0;
    if (!member.digest.empty()) {
      digest = text.size();
      text += member.digest + "\n";
    }
    places.emplace_back(name, digest);
  }
  ByteBuffer buffer = ByteBuffer::allocate(static_cast<std::uint32_t>(text.size()));
  if (!text.empty()) std::memcpy(buffer.data(), text.data(), text.size());
  const FileIndex::TextSource source = index.adoptCatalogText(base, std::move(buffer), scrambled);
  FileIndex::TextMembers gathered(source, room, 1);
  const std::uint64_t shift = cut < members.size() ? members[cut].offset : 0;
  for (std::size_t at = 0; at < members.size(); ++at) {
    const TextMember& member = members[at];
    FileIndex::TextMembers::Stretch& stretch = gathered.stretch(at < cut ? 0 : 1);
    source.bytes[places[at].first + member.name.size()] = '\0';
    if (!member.digest.empty()) source.bytes[places[at].second + member.digest.size()] = '\0';
    stretch.add(static_cast<std::uint32_t>(places[at].first),
                static_cast<std::uint32_t>(member.name.size()), member.size, member.time,
                at < cut ? member.offset : member.offset - shift, !member.digest.empty());
  }
  index.addMembers(std::move(gathered), {0, shift});
}

class RandomAdds {
 public:
  explicit RandomAdds(std::uint32_t seed) : random_(seed) {}

  // A name from a small pool, in a random spelling of its letters' case,
  // with bytes above 127 now and then.
  std::string name() {
    static const char* const pool[] = {"Data/A.xml", "data/b.DDS", "x", "", "a/b", "a-b", "a.b",
                                       "ab", "abc", "README", "\xC4rger", "z\xE9", "Z\xFF\x80"};
    std::string chosen = pool[pick(sizeof pool / sizeof *pool)];
    for (char& byte : chosen) {
      if (std::isalpha(static_cast<unsigned char>(byte)) && pick(2) == 0) {
        byte = static_cast<char>(byte ^ 0x20);
      }
    }
    return chosen;
  }

  std::string digest() {
    if (pick(3) == 0) return std::string();
    std::string text(32, '0');
    for (char& byte : text) byte = "0123456789abcdef"[pick(16)];
    return text;
  }

  std::size_t pick(std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
  }

 private:
  std::mt19937 random_;
};

void addToModel(Model& model, const FileEntry& entry) {
  model[lowerCased(entry.name)] = entry;
}

TEST(FileIndexModel, RandomAddsFromSeveralSourcesAgreeWithAPlainMap) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    RandomAdds random(seed);
    FileIndex index;
    Model model;
    for (int step = 0; step < 40; ++step) {
      const std::string folder = "folder" + std::to_string(random.pick(3));
      const std::string catalog = "catalog" + std::to_string(random.pick(3));
      switch (random.pick(5)) {
        case 0: {
          FileEntry entry;
          entry.name = random.name();
          entry.size = static_cast<std::int32_t>(random.pick(5));
          entry.time = static_cast<std::int64_t>(random.pick(3)) << 33;
          entry.folder = folder;
          index.addFolderFile(entry.name, entry.size, entry.time, entry.folder);
          addToModel(model, entry);
          break;
        }
        case 1: {
          FileEntry entry;
          entry.name = random.name();
          entry.size = static_cast<std::int32_t>(random.pick(5));
          entry.time = static_cast<std::int64_t>(random.pick(3));
          entry.inCatalog = true;
          entry.scrambled = random.pick(2) == 0;
          entry.catalog = catalog;
          entry.offset = random.pick(1000);
          entry.digest = random.pick(4) == 0 ? "short" : random.digest();
          index.addCatalogMember(entry.name, entry.size, entry.time, entry.catalog, entry.offset,
                                 entry.digest, entry.scrambled);
          addToModel(model, entry);
          break;
        }
        case 2: {
          FileEntry entry;
          entry.name = random.name();
          index.addDeletion(entry.name);
          addToModel(model, entry);
          break;
        }
        case 3: {
          // A whole catalog text, case twins and repeated names included:
          // within it the last line of a name wins, and offsets run on.
          std::vector<TextMember> members;
          const bool scrambled = random.pick(2) == 0;
          std::uint64_t offset = 0;
          for (std::size_t line = random.pick(6); line > 0; --line) {
            // Times beyond 32 bits now and then, as an old format's headers may give.
            const std::int64_t time = static_cast<std::int64_t>(random.pick(4)) +
                                      (random.pick(4) == 0 ? std::int64_t{1} << 40 : 0);
            TextMember member{random.name(), static_cast<std::int32_t>(random.pick(9)), time,
                              offset, random.digest()};
            offset += static_cast<std::uint32_t>(member.size);
            FileEntry entry;
            entry.name = member.name;
            entry.size = member.size;
            entry.time = member.time;
            entry.inCatalog = true;
            entry.scrambled = scrambled;
            entry.catalog = catalog;
            entry.offset = member.offset;
            entry.digest = member.digest;
            addToModel(model, entry);
            members.push_back(member);
          }
          const std::size_t cut = random.pick(members.size() + 1);
          addText(index, catalog, members, scrambled, cut,
                  {random.pick(cut + 2), random.pick(members.size() - cut + 2)});
          break;
        }
        default: {
          // Looks settle the index between adds at random points.
          const std::string key = lowerCased(random.name());
          const FileIndex::Found found = index.find(key);
          ASSERT_EQ(static_cast<bool>(found), model.count(key) == 1) << key;
          if (found) {
            EXPECT_EQ(describe(key, *found), describe(key, model[key]));
          }
          EXPECT_EQ(index.size(), model.size());
          break;
        }
      }
    }
    ASSERT_EQ(describe(index), describe(model)) << "seed " << seed;
    const FileIndex copy = index;
    EXPECT_EQ(describe(copy), describe(model)) << "a copy holds the same";
  }
}

TEST(FileIndexModel, ErasingDuringWalksLeavesExactlyTheRest) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    RandomAdds random(seed);
    FileIndex index;
    Model model;
    for (int round = 0; round < 4; ++round) {
      for (std::size_t add = random.pick(12); add > 0; --add) {
        const std::string name = random.name() + std::to_string(random.pick(4));
        index.addFolderFile(name, 1, 2, "f");
        FileEntry entry;
        entry.name = name;
        entry.size = 1;
        entry.time = 2;
        entry.folder = "f";
        addToModel(model, entry);
      }
      for (auto position = index.begin(); position != index.end();) {
        const std::string key(position->key);
        if (random.pick(3) == 0) {
          position = index.erase(position);
          model.erase(key);
        } else {
          ++position;
        }
      }
      ASSERT_EQ(describe(index), describe(model)) << "seed " << seed << " round " << round;
      ASSERT_EQ(index.size(), model.size());
    }
  }
}

TEST(FileIndexModel, StoredEntriesCanBeErasedBeforeTheyAreSettled) {
  FileIndex index;
  index.addFolderFile("keep", 1, 1, "f");
  index.addFolderFile("Twin", 1, 1, "f");
  index.addFolderFile("twin", 2, 2, "g");
  index.addFolderFile("gone", 1, 1, "f");
  ASSERT_EQ(index.storedCount(), 4u);
  EXPECT_EQ(index.storedKey(1), "twin");
  index.eraseStored(3);
  EXPECT_EQ(describe(index),
            "keep|keep|1|1|f|00||0|\n"
            "twin|twin|2|2|g|00||0|\n");
  index.eraseStored(2);
  EXPECT_EQ(index.size(), 1u) << "a settled entry that is erased leaves its key";
  EXPECT_FALSE(index.find("twin"));
}

TEST(FileIndexModel, KeysOfEveryByteValueSortAsUnsignedBytes) {
  std::mt19937 random(7);
  FileIndex index;
  std::map<std::string, std::string> model;  // key to name
  for (int add = 0; add < 3000; ++add) {
    std::string name(std::uniform_int_distribution<int>(0, 12)(random), '\0');
    for (char& byte : name) {
      byte = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(random));
      if (std::uniform_int_distribution<int>(0, 2)(random) == 0) byte = 'a';
    }
    index.addFolderFile(name, 0, 1, "f");
    model[lowerCased(name)] = name;
  }
  std::vector<std::pair<std::string, std::string>> walked;
  for (const auto& [key, entry] : index) walked.emplace_back(key, entry.name);
  const std::vector<std::pair<std::string, std::string>> expected(model.begin(), model.end());
  EXPECT_EQ(walked, expected);
}

// Adds `names` to the index and the model: the first half as one catalog
// text read in two stretches (with digests, times beyond 32 bits now and
// then), the rest as folder files and catalog members one by one.
void addLargeBatch(FileIndex& index, Model& model, const std::vector<std::string>& names,
                   std::mt19937& random, const std::string& catalog) {
  const std::size_t half = names.size() / 2;
  std::vector<TextMember> members;
  std::uint64_t offset = 0;
  for (std::size_t at = 0; at < half; ++at) {
    const auto size = static_cast<std::int32_t>(random() % 5);
    const std::int64_t time = static_cast<std::int64_t>(random() % 1000) +
                              (random() % 16 == 0 ? std::int64_t{3} << 35 : 0);
    std::string digest;
    if (random() % 3 != 0) {
      digest.assign(32, '0');
      for (char& byte : digest) byte = "0123456789abcdef"[random() % 16];
    }
    members.push_back({names[at], size, time, offset, digest});
    FileEntry entry;
    entry.name = names[at];
    entry.size = size;
    entry.time = time;
    entry.inCatalog = true;
    entry.catalog = catalog;
    entry.offset = offset;
    entry.digest = digest;
    addToModel(model, entry);
    offset += static_cast<std::uint32_t>(size);
  }
  // Room a little short in the first stretch and to spare in the second.
  const std::size_t cut = half / 2;
  addText(index, catalog, members, false, cut, {cut - cut / 50, half - cut + 100});
  for (std::size_t at = half; at < names.size(); ++at) {
    FileEntry entry;
    entry.name = names[at];
    entry.size = static_cast<std::int32_t>(random() % 7);
    entry.time = static_cast<std::int64_t>(random() % 100) - 50;
    if (random() % 2 == 0) {
      entry.folder = "tree";
      index.addFolderFile(entry.name, entry.size, entry.time, entry.folder);
    } else {
      entry.inCatalog = true;
      entry.catalog = "single";
      entry.offset = random() % 100000;
      entry.digest = random() % 4 == 0 ? "odd-length" : "";
      index.addCatalogMember(entry.name, entry.size, entry.time, entry.catalog, entry.offset,
                             entry.digest, false);
    }
    addToModel(model, entry);
  }
}

// A random name of `length` letters, digits and capitals behind `prefix`.
std::string randomName(std::mt19937& random, const std::string& prefix, std::size_t length) {
  static const char alphabet[] = "abcXYZ019/._-";
  std::string name = prefix;
  for (std::size_t at = 0; at < length; ++at) name += alphabet[random() % (sizeof alphabet - 1)];
  return name;
}

TEST(FileIndexModel, KeysPastEveryThresholdOfOrderingAgreeWithAPlainMap) {
  // More distinct first eight bytes than are ever counted, beside a run of
  // keys agreeing on their first twenty bytes longer than any run sorted at
  // once, so that keys are put in order the general way, each level on two
  // threads; names repeat in other case; a second batch is merged into the
  // settled order and entries are erased during a walk.
  std::mt19937 random(11);
  FileIndex index;
  Model model;
  for (int batch = 0; batch < 2; ++batch) {
    std::vector<std::string> names;
    for (int at = 0; at < 70000; ++at) names.push_back(randomName(random, "", 6 + random() % 20));
    for (int at = 0; at < 70000; ++at) {
      names.push_back(randomName(random, "Shared/Folder/Level/", random() % 12));
    }
    for (int at = 0; at < 5000; ++at) {
      std::string twin = names[random() % names.size()];
      for (char& byte : twin) {
        if (std::isalpha(static_cast<unsigned char>(byte)) && random() % 2 == 0) byte ^= 0x20;
      }
      names.push_back(twin);
    }
    std::shuffle(names.begin(), names.end(), random);
    addLargeBatch(index, model, names, random, "batch" + std::to_string(batch));
    ASSERT_EQ(index.size(), model.size()) << "batch " << batch;
    ASSERT_EQ(describe(index), describe(model)) << "batch " << batch;
  }
  for (auto position = index.begin(); position != index.end();) {
    if (random() % 5 == 0) {
      model.erase(std::string(position->key));
      position = index.erase(position);
    } else {
      ++position;
    }
  }
  EXPECT_EQ(describe(index), describe(model));
  for (const auto& [key, entry] : model) {
    const FileIndex::Found found = index.find(key);
    ASSERT_TRUE(found) << key;
    EXPECT_EQ(describe(key, *found), describe(key, entry));
  }
}

TEST(FileIndexModel, KeysUnderFewFoldersPastTheCountingThresholdsAgreeWithAPlainMap) {
  // Few distinct first eight bytes, over enough keys to be counted on two
  // threads: places agreeing in all their sixteen bytes, keys that end
  // inside them, and long shared stretches further on.
  std::mt19937 random(13);
  FileIndex index;
  Model model;
  for (int batch = 0; batch < 2; ++batch) {
    std::vector<std::string> names;
    static const char* const folders[] = {"data/", "Data/", "gfx/abc", "snd", "dir000/sub/",
                                          "dir000/sub/deeper/still/deeper/"};
    for (int at = 0; at < 60000; ++at) {
      names.push_back(randomName(random, folders[random() % std::size(folders)], random() % 30));
    }
    std::shuffle(names.begin(), names.end(), random);
    addLargeBatch(index, model, names, random, "few" + std::to_string(batch));
    ASSERT_EQ(describe(index), describe(model)) << "batch " << batch;
  }
}

TEST(FileIndexModel, AMillionEntriesFromOneTextAreWalkedInOrder) {
  // Names in a scrambled order, a tenth of them twice in another case.
  constexpr std::uint32_t count = 1000000;
  std::vector<TextMember> members;
  members.reserve(count + count / 10);
  std::uint64_t offset = 0;
  for (std::uint32_t at = 0; at < count; ++at) {
    const auto number = static_cast<std::uint32_t>((std::uint64_t{at} * 7919u) % count);
    members.push_back({"dir" + std::to_string(number % 300) + "/file" + std::to_string(number) +
                           ".dat",
                       1, number, offset, std::string()});
    offset += 1;
    if (at % 10 == 0) {
      std::string twin = members.back().name;
      twin[0] = 'D';
      members.push_back({twin, 2, number, offset, std::string()});
      offset += 2;
    }
  }
  FileIndex index;
  addText(index, "big", members, false, members.size() / 3,
          {members.size() / 3, members.size() - members.size() / 3});
  ASSERT_EQ(index.size(), count);
  std::string previous;
  std::size_t walked = 0;
  std::size_t twins = 0;
  for (const auto& [key, entry] : index) {
    const std::string current(key);
    ASSERT_TRUE(walked == 0 || previous < current) << previous << " " << current;
    if (entry.name.c_str()[0] == 'D') {
      ++twins;
      EXPECT_EQ(entry.size, 2);
    }
    previous = current;
    ++walked;
  }
  EXPECT_EQ(walked, count);
  EXPECT_EQ(twins, count / 10);
  const FileIndex::Found found = index.find("dir0/file0.dat");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->name, "Dir0/file0.dat");
  EXPECT_EQ(found->offset, 1u);
}

}  // namespace
}  // namespace catpack
