#include "catalog/piece_hashing.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace catpack {

namespace {

// Pieces in flight at most: bounds the memory whatever the members' sizes.
constexpr std::size_t pieceCount = 8;

}  // namespace

struct PieceHashing::Member {
  Md5Context context;
  std::deque<std::pair<unsigned char*, std::uint32_t>> queued;  // handed over, not yet hashed
  bool busy = false;     // a thread is hashing one of its pieces
  bool ended = false;    // no more pieces will come
  bool dropped = false;  // nobody will ask for the digest
  bool done = false;     // `digest` holds the result
  std::string digest;
  std::list<Member>::iterator self;
};

PieceHashing::PieceHashing(unsigned helpers, std::uint64_t largestMember)
    : pieceBytes_(static_cast<std::uint32_t>(std::clamp<std::uint64_t>(largestMember, 1, pieceSize))) {
  if (helpers != 0) helpers_ = std::make_unique<HelperThreads>(helpers, [this] { helpOut(); });
}

PieceHashing::~PieceHashing() { stop(); }

void PieceHashing::stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (helpers_) helpers_->join();
  const std::lock_guard<std::mutex> lock(mutex_);
  for (Member& member : members_) {
    for (const auto& [piece, count] : member.queued) freePieces_.push_back(piece);
  }
  members_.clear();
}

unsigned char* PieceHashing::takePiece() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Pieces are made as they are first needed, so that a catalog of small
  // members holds only the few it uses.
  if (freePieces_.empty() && pieces_.size() < pieceCount) {
    pieces_.emplace_back(new unsigned char[pieceBytes_]);
    return pieces_.back().get();
  }
  while (freePieces_.empty()) {
    if (!workOnce(lock)) changed_.wait(lock);
  }
  unsigned char* piece = freePieces_.back();
  freePieces_.pop_back();
  return piece;
}

void PieceHashing::givePieceBack(unsigned char* piece) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    freePieces_.push_back(piece);
  }
  changed_.notify_all();
}

PieceHashing::Member* PieceHashing::beginMember() {
  const std::lock_guard<std::mutex> lock(mutex_);
  Member& member = members_.emplace_back();
  member.self = std::prev(members_.end());
  md5Init(member.context);
  return &member;
}

void PieceHashing::hashPiece(Member* member, unsigned char* piece, std::uint32_t count) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    member->queued.emplace_back(piece, count);
  }
  changed_.notify_all();
}

void PieceHashing::endMember(Member* member) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    member->ended = true;
  }
  changed_.notify_all();
}

void PieceHashing::dropMember(Member* member) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [piece, count] : member->queued) freePieces_.push_back(piece);
    member->queued.clear();
    member->ended = member->dropped = true;
    // A member being hashed is forgotten by the thread hashing it.
    if (!member->busy) forget(member);
  }
  changed_.notify_all();
}

bool PieceHashing::isReady(Member* member) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return member->done;
}

std::string PieceHashing::takeDigest(Member* member) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!member->done) {
    if (!workOnce(lock)) changed_.wait(lock);
  }
  std::string digest = std::move(member->digest);
  forget(member);
  return digest;
}

void PieceHashing::forget(Member* member) { members_.erase(member->self); }

bool PieceHashing::workOnce(std::unique_lock<std::mutex>& lock) {
  for (Member& member : members_) {
    if (member.busy || member.done || member.dropped) continue;
    if (!member.queued.empty()) {
      const auto [piece, count] = member.queued.front();
      member.queued.pop_front();
      member.busy = true;
      lock.unlock();
      md5Update(member.context, piece, count);
      lock.lock();
      member.busy = false;
      freePieces_.push_back(piece);
      if (member.dropped) forget(&member);
      changed_.notify_all();
      return true;
    }
    if (member.ended) {
      member.digest = md5ToHex(md5Final(member.context));
      member.done = true;
      changed_.notify_all();
      return true;
    }
  }
  return false;
}

void PieceHashing::helpOut() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (!workOnce(lock)) changed_.wait(lock);
  }
}

}  // namespace catpack
