// Member bytes on their way to a catalog's data file, and the digests of
// exactly those bytes, worked out by helper threads while the writing
// thread goes on with the next pieces and members. A few piece buffers,
// made as first needed, keep the memory in flight bounded: when all are in use, the
// writing thread hashes queued pieces itself until one is free.
#pragma once

#include <condition_variable>
#include <cstdint>
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

  // One member's digest being worked out.
  struct Member;

  // Works with `helpers` threads beside the writing one (none: the writing
  // thread hashes everything itself). Pieces hold no more than the largest
  // member's `largestMember` bytes, so that small members need no large
  // buffers.
  PieceHashing(unsigned helpers, std::uint64_t largestMember);
  ~PieceHashing();
  PieceHashing(const PieceHashing&) = delete;
  PieceHashing& operator=(const PieceHashing&) = delete;

  // Bytes one piece buffer holds.
  std::uint32_t pieceBytes() const { return pieceBytes_; }

  // A free piece buffer of pieceBytes(); waits for one when all are in use.
  unsigned char* takePiece();

  // Gives back a piece that is not to be hashed.
  void givePieceBack(unsigned char* piece);

  // Starts the digest of a member's bytes.
  Member* beginMember();

  // Adds the first `count` bytes of `piece` to the member's digest; the
  // piece comes back free once they are hashed.
  void hashPiece(Member* member, unsigned char* piece, std::uint32_t count);

  // All of the member's bytes have been handed over.
  void endMember(Member* member);

  // Forgets the member: its digest is never asked for.
  void dropMember(Member* member);

  // Whether the member's digest is known.
  bool isReady(Member* member);

  // The member's digest (as md5HexOfBuffer of all its bytes), waiting for
  // it when needed; the member is forgotten afterwards.
  std::string takeDigest(Member* member);

  // Ends the helper threads; every member still open is forgotten.
  void stop();

 private:
  // Does one piece of waiting work (hashing a piece or finishing a digest)
  // with the lock released meanwhile; false when there was none.
  bool workOnce(std::unique_lock<std::mutex>& lock);
  // Helper threads: work until stopped.
  void helpOut();
  void forget(Member* member);

  const std::uint32_t pieceBytes_;
  std::mutex mutex_;
  std::condition_variable changed_;  // work queued, a piece freed, a digest done, or stopping
  std::vector<std::unique_ptr<unsigned char[]>> pieces_;
  std::vector<unsigned char*> freePieces_;
  std::list<Member> members_;        // in the order they were begun
  bool stopping_ = false;
  std::unique_ptr<HelperThreads> helpers_;
};

}  // namespace catpack
