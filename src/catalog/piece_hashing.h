// Member bytes on their way to a catalog's data file, and the digests of
// exactly those bytes, worked out by helper threads while the writing
// thread goes on with the next pieces and members. A few piece buffers,
// made as first needed, keep the memory in flight bounded. When all are in
// use, the writing thread either hashes queued pieces itself until one is
// free, or writes on and has the bytes read back from the data file when
// their turn comes, so that the digests of several large members are
// worked out side by side. Other work can be handed over too (AsideWork):
// it is done by whichever thread is free first.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "digest/md5.h"
#include "util/workers.h"

namespace catpack {

class PieceHashing {
 public:
  // Most bytes one piece buffer holds.
  static constexpr std::uint32_t pieceSize = 1u << 20;
  // Fewest bytes one piece buffer holds, so that many small members fit in
  // one.
  static constexpr std::uint32_t smallestPieceSize = 128u << 10;

  // Work any thread may do, handed over with runAside; the caller keeps it
  // where it is until it is done or stop() has returned.
  struct AsideWork {
    std::function<void()> work;
    bool done = false;  // read under the lock only (waitFor)
  };

  // One member's digest being worked out.
  struct Member;

  // Works with `helpers` threads beside the writing one (none: the writing
  // thread hashes everything itself). Pieces hold no more than the largest
  // member's `largestMember` bytes, or smallestPieceSize where that is more,
  // so that small members need no large buffers.
  PieceHashing(unsigned helpers, std::uint64_t largestMember);
  ~PieceHashing();
  PieceHashing(const PieceHashing&) = delete;
  PieceHashing& operator=(const PieceHashing&) = delete;

  // Bytes one piece buffer holds.
  std::uint32_t pieceBytes() const { return pieceBytes_; }

  // Whether helper threads work beside the writing one.
  bool hasHelpers() const { return helpers_ != nullptr; }

  // Reads `count` bytes this run wrote to the data file, from `at` on, into
  // `into`; false when they could not all be read.
  using ReadBack = std::function<bool(std::uint64_t at, unsigned char* into, std::uint32_t count)>;

  // Lets members' bytes be read back from the data file (hashWritten) from
  // now on. `readBack` is called from any thread, at any time until stop().
  void readBackWith(ReadBack readBack);

  // A free piece buffer of pieceBytes(). When all are in use: waits for one
  // with `wait`, else gives null.
  unsigned char* takePiece(bool wait = true);

  // Gives back a piece that is not to be hashed.
  void givePieceBack(unsigned char* piece);

  // Starts the digest of a member's bytes.
  Member* beginMember();

  // Adds the first `count` bytes of `piece` to the member's digest; the
  // piece comes back free once they are hashed.
  void hashPiece(Member* member, unsigned char* piece, std::uint32_t count);

  // Adds the `count` bytes at `at` in the data file to the member's digest;
  // they are read back when their turn comes (see readBackWith).
  void hashWritten(Member* member, std::uint64_t at, std::uint32_t count);

  // All of the member's bytes have been handed over.
  void endMember(Member* member);

  // Forgets the member: its digest is never asked for.
  void dropMember(Member* member);

  // Whether the member's digest is known.
  bool isReady(Member* member);

  // The member's digest (as md5HexOfBuffer of all its bytes), waiting for
  // it when needed, or empty when its bytes could not be read back; the
  // member is forgotten afterwards.
  std::string takeDigest(Member* member);

  // Hands `aside` over, to be done by a helper thread or by the writing
  // thread while it waits.
  void runAside(AsideWork& aside);

  // Waits until `aside` is done, doing waiting work meanwhile.
  void waitFor(AsideWork& aside);

  // Ends the helper threads; every member still open is forgotten, and
  // aside work not yet begun is never done.
  void stop();

 private:
  // Does one piece of waiting work (aside work, hashing a piece or bytes to
  // read back, or finishing a digest) with the lock released meanwhile;
  // false when there was none. The writing thread works on the oldest
  // members first, helper threads (`helping`) as helperChoice says.
  bool workOnce(std::unique_lock<std::mutex>& lock, bool helping = false);
  // The member a helper thread hashes next, or null to choose as the
  // writing thread does.
  Member* helperChoice();
  // Hashes the member's next queued bytes, or finishes its digest once all
  // are hashed and it is ended; with the lock released meanwhile.
  void workOn(Member& member, std::unique_lock<std::mutex>& lock);
  // Whether a thread may work on the member now.
  static bool isOpen(const Member& member);
  // Helper threads: work until stopped.
  void helpOut();
  void forget(Member* member);
  // Reads `count` bytes from `at` back through `buffer` (pieceBytes_ long)
  // and adds them to `context`.
  bool hashReadBack(Md5Context& context, std::uint64_t at, std::uint64_t count,
                    unsigned char* buffer);

  const std::uint32_t pieceBytes_;
  std::mutex mutex_;
  std::condition_variable changed_;  // work queued, a piece freed, a digest done, or stopping
  std::vector<std::unique_ptr<unsigned char[]>> pieces_;
  std::vector<unsigned char*> freePieces_;
  // Buffers for reading bytes back, one per thread that has needed one at
  // once, kept for reuse.
  std::vector<std::unique_ptr<unsigned char[]>> readBackBuffers_;
  std::list<Member> members_;        // in the order they were begun
  std::deque<AsideWork*> asides_;    // handed over, not yet begun
  bool stopping_ = false;
  ReadBack readBack_;
  std::unique_ptr<HelperThreads> helpers_;
};

}  // namespace catpack
