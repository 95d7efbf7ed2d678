#include "index/key_table.h"

#include <cstring>

#include "util/prefetch.h"

namespace catpack {

namespace {

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

KeyTable::KeyTable(const FileIndex& index)
    : index_(index), replaced_(index.storedCount(), false) {
  const std::size_t stored = index.storedCount();
  places_.assign(placesFor(stored), Place{0, 0});
  mask_ = places_.size() - 1;
  // The keys of a batch are hashed and their places loaded before any is
  // put in.
  std::size_t slots[batchSize];
  std::uint64_t hashes[batchSize];
  for (std::size_t next = 0; next < stored;) {
    std::size_t count = 0;
    for (; count < batchSize && next < stored; ++next) {
      if (!index.isStored(next)) continue;
      slots[count] = next;
      hashes[count] = hashOfKey(index.storedKey(next));
      prefetch(&places_[hashes[count] & mask_]);
      ++count;
    }
    for (std::size_t at = 0; at < count; ++at) insert(slots[at], index.storedKey(slots[at]), hashes[at]);
  }
}

void KeyTable::insert(std::size_t slot, std::string_view key, std::uint64_t hash) {
  const std::uint32_t tag = tagOf(hash);
  for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
    Place& place = places_[at];
    if (place.slotPlusOne == 0) {
      place = {static_cast<std::uint32_t>(slot + 1), tag};
      ++entryCount_;
      return;
    }
    const std::size_t held = place.slotPlusOne - 1;
    if (place.tag == tag && std::string_view(index_.storedKey(held)) == key) {
      // Slots come in the order they were added: the later one wins.
      replaced_[held] = true;
      replacedSlots_.push_back(static_cast<std::uint32_t>(held));
      place.slotPlusOne = static_cast<std::uint32_t>(slot + 1);
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
