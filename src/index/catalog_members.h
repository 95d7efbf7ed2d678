// Adopting a catalog's index text: its members are gathered where the index
// will keep them, stretch by stretch, and then added in one go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/base_pairing.h"
#include "index/file_index.h"
#include "index/key_screen.h"

namespace catpack {

// Members of one adopted index text, gathered apart from the index in one
// or more stretches of the text (side by side, one thread per stretch) and
// then added in one go with addMembers. The members are written where the
// index will keep them, so that adding them moves none.
class FileIndex::TextMembers {
 public:
  // Stretch k will hold about room[k] members (more fit, at some cost);
  // the index keeps room for `spare` more entries behind them.
  TextMembers(const TextSource& source, const std::vector<std::size_t>& room, std::size_t spare);
  // Its stretches point into its storage: it stays where it is made.
  TextMembers(const TextMembers&) = delete;
  TextMembers& operator=(const TextMembers&) = delete;

  // The members of one stretch, in text order.
  class Stretch {
   public:
    // A member whose name is the `nameLength` bytes at `nameOffset` of the
    // text, followed there by a NUL and, when `hasDigest`, by its digest of
    // 32 bytes and a NUL; its bytes are at `offset` of the data file,
    // counted as addMembers says. False when the stretch's screen drops it
    // or its pairing settles it: then nothing of it is kept, and its texts
    // are not needed.
    // With a pairing, `lookup` is the member's key's lookup, started ahead,
    // or null to look it up now.
    bool add(std::uint32_t nameOffset, std::uint32_t nameLength, std::int32_t size,
             std::int64_t time, std::uint64_t offset, bool hasDigest,
             BasePairing::Lookup* lookup = nullptr);

    // Filters the members added from now on with `screen`.
    void screenWith(std::unique_ptr<KeyScreen> screen) { screen_ = std::move(screen); }

    // Offers the members added from now on to `pairing`, as members of its
    // stretch `stretch`; those whose pairs it settles are not kept.
    void pairWith(BasePairing* pairing, std::uint32_t stretch) {
      pairing_ = pairing;
      pairedStretch_ = stretch;
    }
    // The pairing members are offered to, or null.
    const BasePairing* pairing() const { return pairing_; }

    std::size_t count() const { return inRoom_ + beyondRoom_.size(); }
    std::size_t longestName() const { return longestName_; }

   private:
    friend class FileIndex;
    friend class TextMembers;

    TextSource source_;
    StoredEntry* room_ = nullptr;  // its places in the shared storage
    std::size_t roomSize_ = 0;
    std::size_t inRoom_ = 0;
    std::vector<StoredEntry> beyondRoom_;  // members once the room is full
    // The keys of names with capitals, at offsets from the text's end;
    // placed behind the segment's own texts when the members are added.
    std::vector<char> arena_;
    // Times beyond 32 bits, numbered from 0 within the stretch.
    std::vector<std::int64_t> wideTimes_;
    std::string keyScratch_;
    bool mayLackDigests_ = false;
    std::size_t longestName_ = 0;  // dropped members' names included
    std::unique_ptr<KeyScreen> screen_;
    std::size_t kept_ = 0;  // members the screen kept for sure
    BasePairing* pairing_ = nullptr;
    std::uint32_t pairedStretch_ = 0;
  };

  Stretch& stretch(std::size_t index) { return stretches_[index]; }

 private:
  friend class FileIndex;

  std::uint32_t segment_;
  EntryStorage storage_;
  std::vector<Stretch> stretches_;
};

}  // namespace catpack
