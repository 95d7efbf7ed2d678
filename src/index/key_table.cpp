#include "index/key_table.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "util/prefetch.h"
#include "util/workers.h"

namespace catpack {

namespace {

// Indexes from this many stored entries on are hashed on two threads, when
// a helper is offered.
constexpr std::size_t twoThreadSize = 1 << 15;

constexpr std::uint64_t mixMultiplier = 0x9E3779B97F4A7C15ULL;

std::uint64_t mix(std::uint64_t value) {
  value ^= value >> 32;
  value *= mixMultiplier;
  value ^= value >> 29;
  return value;
}

// The table's size for `count` keys: a power of two, at least half as many
// again, so that probes stay short and the table small.
std::size_t placesFor(std::size_t count) {
  std::size_t places = 16;
  while (places < count + count / 2) places *= 2;
  return places;
}

std::uint32_t tagOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32); }

// A hash of the bytes of `key`.
std::uint64_t hashOfKey(std::string_view key) {
  std::uint64_t hash = key.size() * mixMultiplier;
  std::size_t at = 0;
  for (; at + 8 <= key.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, key.data() + at, 8);
    hash = mix(hash ^ word) + at;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, key.data() + at, key.size() - at);
  return mix(mix(hash ^ tail) ^ key.size());
}

}  // namespace

KeyTable::KeyTable(const FileIndex& index, unsigned helpers)
    : index_(index), replaced_(index.storedCount(), false) {
  const std::size_t stored = index.storedCount();
  places_ = ZeroedBlock<Place>(placesFor(stored));
  mask_ = places_.size() - 1;
  Filling fillings[2];
  if (helpers > 0 && stored >= twoThreadSize) {
    const HelperThreads helper(1, [&] { insertSlots(stored / 2, stored, fillings[1]); });
    insertSlots(0, stored / 2, fillings[0]);
  } else {
    insertSlots(0, stored, fillings[0]);
  }
  for (const Filling& filling : fillings) {
    entryCount_ += filling.placesTaken;
    replacedSlots_.insert(replacedSlots_.end(), filling.replaced.begin(), filling.replaced.end());
  }
  // In slot order, however the threads met.
  std::sort(replacedSlots_.begin(), replacedSlots_.end());
  for (const std::uint32_t slot : replacedSlots_) replaced_[slot] = true;
}

void KeyTable::insertSlots(std::size_t begin, std::size_t end, Filling& filling) {
  // The keys of a batch are hashed and their places loaded before any is
  // put in.
  std::size_t slots[batchSize];
  std::uint64_t hashes[batchSize];
  for (std::size_t next = begin; next < end;) {
    std::size_t count = 0;
    for (; count < batchSize && next < end; ++next) {
      if (!index_.isStored(next)) continue;
      slots[count] = next;
      hashes[count] = hashOfKey(index_.storedKey(next));
      prefetch(&places_[hashes[count] & mask_]);
      ++count;
    }
    for (std::size_t at = 0; at < count; ++at) {
      insert(slots[at], index_.storedKey(slots[at]), hashes[at], filling);
    }
  }
}

void KeyTable::insert(std::size_t slot, std::string_view key, std::uint64_t hash, Filling& filling) {
  const Place mine{static_cast<std::uint32_t>(slot + 1), tagOf(hash)};
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    std::atomic_ref<Place> place(places_[at]);
    Place seen = place.load(std::memory_order_relaxed);
    // A place, once taken, only ever passes to another slot of its key.
    while (true) {
      if (seen.slotPlusOne == 0) {
        if (!place.compare_exchange_weak(seen, mine, std::memory_order_relaxed)) continue;
        ++filling.placesTaken;
        return;
      }
      const std::size_t held = seen.slotPlusOne - 1;
      if (seen.tag != mine.tag || std::string_view(index_.storedKey(held)) != key) break;
      // Of two slots of one key the later wins, whichever comes first.
      if (held > slot) {
        filling.replaced.push_back(static_cast<std::uint32_t>(slot));
        return;
      }
      if (!place.compare_exchange_weak(seen, mine, std::memory_order_relaxed)) continue;
      filling.replaced.push_back(static_cast<std::uint32_t>(held));
      return;
    }
  }
}

std::size_t KeyTable::candidate(std::uint64_t hash, std::size_t& place) const {
  const std::uint32_t tag = tagOf(hash);
  for (;; place = (place + 1) & mask_) {
    const Place& at = places_[place];
    if (at.slotPlusOne == 0) return none;
    if (at.tag == tag) return at.slotPlusOne - 1;
  }
}

std::size_t KeyTable::findFrom(std::string_view key, std::uint64_t hash, std::size_t place) const {
  for (;; place = (place + 1) & mask_) {
    const std::size_t held = candidate(hash, place);
    if (held == none || std::string_view(index_.storedKey(held)) == key) return held;
  }
}

KeyTable::Probe KeyTable::startProbe(std::string_view key) const {
  Probe probe{hashOfKey(key), 0, none};
  probe.place = probe.hash & mask_;
  prefetch(&places_[probe.place]);
  return probe;
}

void KeyTable::loadCandidate(Probe& probe) const {
  probe.slot = candidate(probe.hash, probe.place);
  if (probe.slot != none) index_.prefetchStored(probe.slot);
}

void KeyTable::loadCandidateKey(const Probe& probe) const {
  if (probe.slot != none) index_.prefetchStoredKey(probe.slot);
}

std::size_t KeyTable::finishProbe(std::string_view key, const Probe& probe) const {
  if (probe.slot == none || std::string_view(index_.storedKey(probe.slot)) == key) return probe.slot;
  // A matching tag of another key: the key is looked for further on.
  return findFrom(key, probe.hash, (probe.place + 1) & mask_);
}

void KeyTable::findAll(const std::string_view* keys, std::size_t count, std::size_t* slots) const {
  // Places first, then the entries they name, then those entries' keys:
  // each step's loads are all started before the next step waits for them.
  Probe probes[batchSize];
  for (std::size_t at = 0; at < count; ++at) probes[at] = startProbe(keys[at]);
  for (std::size_t at = 0; at < count; ++at) loadCandidate(probes[at]);
  for (std::size_t at = 0; at < count; ++at) loadCandidateKey(probes[at]);
  for (std::size_t at = 0; at < count; ++at) slots[at] = finishProbe(keys[at], probes[at]);
}

}  // namespace catpack
