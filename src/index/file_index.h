// The set of files of a run, keyed by the lower-cased name and walked in
// bytewise unsigned key order. A later source of a name replaces the entry
// whole.
//
// Entries are kept in one array in the order they were added; their texts
// live in the storage of their source (a catalog's index text, kept whole,
// or an arena per folder), and every source path is held once. Key order
// and the replacement of earlier entries of a key are worked out once, when
// a walk, a lookup or a count first needs them after entries were added.
//
// The parts live apart: index_storage (segments, arenas, stored entries),
// catalog_members (adopting a catalog's index text and its members),
// last_wins_order (key order and replacement), index_walk (walks and
// lookups), key_text (a name's key); this file's own source adds entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/file_entry.h"
#include "index/index_storage.h"
#include "util/byte_buffer.h"
#include "util/workers.h"

namespace catpack {

// An entry as a walk in key order shows it: its key and its fields.
struct IndexItem {
  EntryText key;
  EntryView entry;
};

class FileIndex {
 public:
  // A position in a walk in key order. Walks stay valid across erase()
  // but not across adding entries.
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = IndexItem;
    using difference_type = std::ptrdiff_t;
    using reference = IndexItem;
    struct Arrow;
    using pointer = Arrow;

    IndexItem operator*() const { return index_->itemAt(index_->order_[position_]); }
    // The key alone, cheaper than the whole item.
    EntryText key() const { return index_->keyOf(index_->order_[position_]); }
    // Where the walk stands, as walkFrom() takes it.
    std::size_t position() const { return position_; }
    // Member access for it->key and it->entry.
    struct Arrow {
      IndexItem item;
      const IndexItem* operator->() const { return &item; }
    };
    Arrow operator->() const { return {**this}; }
    iterator& operator++();
    iterator operator++(int);
    bool operator==(const iterator& other) const { return position_ == other.position_; }

   private:
    friend class FileIndex;
    iterator(const FileIndex* index, std::size_t position) : index_(index), position_(position) {}
    const FileIndex* index_;
    std::size_t position_;
  };
  using const_iterator = iterator;

  // What find() gives: the entry's fields, or nothing (compares equal to
  // nullptr then).
  class Found {
   public:
    Found() = default;
    explicit Found(const EntryView& entry) : entry_(entry), present_(true) {}
    explicit operator bool() const { return present_; }
    bool operator==(std::nullptr_t) const { return !present_; }
    const EntryView& operator*() const { return entry_; }
    const EntryView* operator->() const { return &entry_; }

   private:
    EntryView entry_;
    bool present_ = false;
  };

  // A catalog's index text that the index keeps; member names and digests
  // are referred to by their offsets in it.
  struct TextSource {
    std::uint32_t segment;
    unsigned char* bytes;  // the text, writable until its members are added
    std::uint32_t size;
  };

  FileIndex() = default;
  FileIndex(const FileIndex& other);
  FileIndex& operator=(const FileIndex& other);
  FileIndex(FileIndex&&) noexcept = default;
  FileIndex& operator=(FileIndex&&) noexcept = default;

  // Insert-or-replace of a file found in a folder.
  bool addFolderFile(const std::string& name, std::int32_t size, std::int64_t time,
                     const std::string& folder);

  // Insert-or-replace of a catalog member.
  bool addCatalogMember(const std::string& name, std::int32_t size, std::int64_t time,
                        const std::string& catalog, std::uint64_t offset,
                        const std::string& digest, bool scrambled);

  // Insert-or-replace of a deletion marker.
  bool addDeletion(std::string_view name);

  // Takes over the index text of the catalog `base` (unscrambled), whose
  // members are then gathered in TextMembers and added with addMembers.
  TextSource adoptCatalogText(const std::string& base, ByteBuffer text, bool scrambled);

  class TextMembers;

  // Insert-or-replace of the members gathered in `members`, stretch after
  // stretch and after every entry added before; the data offsets of
  // stretch k are moved on by offsetShifts[k].
  void addMembers(TextMembers&& members, const std::vector<std::uint64_t>& offsetShifts);

  // The entry under `key` (already lower-cased), or nothing.
  Found find(std::string_view key) const;

  // The first entry in key order whose key is not less than `key`.
  iterator lowerBound(std::string_view key) const;

  // Removes the entry at `position`; gives the position of the next one, so
  // that a walk can go on.
  iterator erase(iterator position);

  // Adds a copy of `entry` under `key` unless the key is already present.
  void insertIfAbsent(std::string_view key, const EntryView& entry);

  void clear();
  void swap(FileIndex& other) noexcept;
  std::size_t size() const;
  bool empty() const { return size() == 0; }

  iterator begin() const;
  iterator end() const;

  // The walk in key order cut into stretches, for walking them on several
  // threads: walkFrom(p) is the first entry at or after position p of the
  // positions 0 to walkLength() - 1 (walkFrom(walkLength()) is end()). Once
  // walkLength() has run, walks of disjoint stretches may run side by side
  // while the index is left unchanged.
  std::size_t walkLength() const;
  iterator walkFrom(std::size_t position) const { return iterator(this, nextLive(position)); }
  // Starts loading the entries of walk positions `begin` to `end`, and then
  // their texts, for a walk over them that follows at once.
  void prefetchWalkStretch(std::size_t begin, std::size_t end) const;

  // Stored entries, for passes that look at every key once, in any order:
  // slots 0 to storedCount() - 1 in the order added. Until settle() runs, a
  // key may be held by more than one stored slot, of which the last not
  // erased is the entry; eraseStored removes just the one stored entry.
  std::size_t storedCount() const { return entries_.size(); }
  bool isStored(std::size_t slot) const { return !erased_[slot]; }
  EntryText storedKey(std::size_t slot) const;
  EntryView storedEntry(std::size_t slot) const { return itemAt(static_cast<std::uint32_t>(slot)).entry; }
  // Start loading a stored entry, and then its key, for a pass that will
  // soon look at them.
  void prefetchStored(std::size_t slot) const;
  void prefetchStoredKey(std::size_t slot) const;
  void eraseStored(std::size_t slot);

  // Works out key order and replacements now.
  void settle() const;

  // Whether some name (and so its key) holds a NUL byte before its end.
  bool namesMayHoldNul() const { return namesMayHoldNul_; }

  // The longest name (and key) of any entry added, erased ones included.
  std::size_t longestNameAdded() const { return longestNameAdded_; }

  // How many stored entries a screen of the run's filters kept for sure as
  // their catalog was read (see KeyScreen): when that is all of them, the
  // filter pass has nothing left to test.
  std::size_t entriesKnownToPass() const { return knownToPass_; }

  // Whether some entry was added without a stated digest (a folder file, a
  // deletion marker, a member of a catalog without digests).
  bool mayLackDigests() const { return mayLackDigests_; }

 private:
  using SourceKind = indexstorage::SourceKind;
  using Segment = indexstorage::Segment;
  using StoredEntry = indexstorage::StoredEntry;
  using EntryStorage = indexstorage::EntryStorage;
  using DigestForm = indexstorage::DigestForm;

  // The segment that takes texts of the given source, made when missing.
  std::uint32_t segmentFor(SourceKind kind, const std::string& path, bool scrambled,
                           std::size_t bytesNeeded);
  // Appends `text` and a NUL to the segment's arena; gives its offset.
  std::uint32_t appendText(std::uint32_t segment, std::string_view text);
  // The key of `name`: the name itself, or its lower-cased copy in keyScratch_.
  std::string_view keyFor(std::string_view name);
  // Appends an entry copying its texts into the source's segment; the texts
  // must not lie in this index's own storage.
  void appendCopy(SourceKind kind, const std::string& path, bool scrambled, std::string_view name,
                  std::string_view key, std::int32_t size, std::int64_t time,
                  std::uint64_t offset, std::string_view digest);

  // Sets the time of `entry`, adding it to `wideTimes` when it does not fit
  // the entry.
  static void setTime(StoredEntry& entry, std::int64_t time, std::vector<std::int64_t>& wideTimes);
  std::int64_t timeOf(const StoredEntry& entry) const;
  EntryText keyOf(const StoredEntry& entry) const;
  EntryText keyOf(std::uint32_t slot) const { return keyOf(entries_[slot]); }
  IndexItem itemAt(std::uint32_t slot) const;
  // Position in order_, between `low` and `high`, of the first key not
  // less than `key`.
  std::size_t positionOf(std::string_view key, std::size_t low, std::size_t high) const;
  // Merges the entries added since the last settle into the order.
  void mergeNewEntries() const;
  std::size_t nextLive(std::size_t position) const;
  // Starts loading what a walk at `position` will soon need.
  void prefetchWalk(std::size_t position) const;
  // Starts loading the name and key of the entry in `slot`.
  void prefetchTexts(std::uint32_t slot) const;

  std::vector<Segment> segments_;
  EntryStorage entries_;
  // Times beyond 32 bits, which their entries refer to by place.
  std::vector<std::int64_t> wideTimes_;
  // Settled state, worked out on demand: slots in key order, one per key
  // (some may be erased since), covering the slots below settledUpTo_;
  // replaced slots count as erased.
  mutable std::vector<bool> erased_;
  mutable std::vector<std::uint32_t> order_;
  mutable std::size_t settledUpTo_ = 0;
  mutable std::size_t liveCount_ = 0;
  std::uint32_t lastSegment_ = 0;  // the segment the last add used
  bool namesMayHoldNul_ = false;
  std::size_t longestNameAdded_ = 0;
  bool mayLackDigests_ = false;
  std::size_t knownToPass_ = 0;
  std::string keyScratch_;         // room for the key of a name with capitals
};

// Prints "%8d %8d %s %s\n" (size, low 32 bits of time, name, key) per entry;
// `helpers` threads help format the lines.
void dumpIndex(const FileIndex& index, unsigned helpers = helperThreadCount());

}  // namespace catpack
