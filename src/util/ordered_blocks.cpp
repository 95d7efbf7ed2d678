#include "util/ordered_blocks.h"

#include <condition_variable>
#include <mutex>

#include "util/workers.h"

namespace catpack {

namespace {

// The state of one place in the ring of block buffers.
enum class SlotState { free, making, made };

// Blocks go round a ring of buffers: block k uses place k % size, so it is
// begun only once block k - size was taken.
class BlockRing {
 public:
  BlockRing(std::size_t count, std::size_t places) : count_(count), slots_(places) {}

  // Claims the next block whose place is free, waiting for one; false when
  // every block is claimed.
  bool claimForHelper(std::size_t& block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return next_ >= count_ || placeOf(next_).state == SlotState::free; });
    return claimLocked(block);
  }

  // Hands on made blocks in order, and makes blocks itself while the next
  // one to hand on is still being made; returns when all are taken.
  void run(const MakeBlock& make, const TakeBlock& take) {
    std::unique_lock lock(mutex_);
    while (taken_ < count_) {
      Slot& head = placeOf(taken_);
      if (head.state == SlotState::made) {
        lock.unlock();
        take(head.bytes.data(), head.length);
        lock.lock();
        head.state = SlotState::free;
        ++taken_;
        changed_.notify_all();
        continue;
      }
      std::size_t block = 0;
      if (next_ < count_ && placeOf(next_).state == SlotState::free && claimLocked(block)) {
        lock.unlock();
        makeInto(block, make);
        lock.lock();
        continue;
      }
      changed_.wait(lock);
    }
  }

  // Makes `block` into its place and marks it made.
  void makeInto(std::size_t block, const MakeBlock& make) {
    Slot& slot = placeOf(block);
    slot.length = make(block, slot.bytes);
    const std::lock_guard lock(mutex_);
    slot.state = SlotState::made;
    changed_.notify_all();
  }

 private:
  struct Slot {
    SlotState state = SlotState::free;
    std::vector<char> bytes;
    std::size_t length = 0;  // of bytes, used by the block
  };

  Slot& placeOf(std::size_t block) { return slots_[block % slots_.size()]; }

  bool claimLocked(std::size_t& block) {
    if (next_ >= count_) return false;
    block = next_++;
    placeOf(block).state = SlotState::making;
    return true;
  }

  const std::size_t count_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;   // the next block to claim
  std::size_t taken_ = 0;  // the next block to hand on
};

}  // namespace

void makeBlocksInOrder(std::size_t count, unsigned helpers, const MakeBlock& make,
                       const TakeBlock& take) {
  if (helpers == 0 || count <= 1) {
    std::vector<char> bytes;
    for (std::size_t block = 0; block < count; ++block) {
      const std::size_t length = make(block, bytes);
      take(bytes.data(), length);
    }
    return;
  }
  BlockRing ring(count, 2 * (std::size_t{helpers} + 1));
  HelperThreads threads(helpers, [&] {
    std::size_t block = 0;
    while (ring.claimForHelper(block)) ring.makeInto(block, make);
  });
  ring.run(make, take);
}

}  // namespace catpack
