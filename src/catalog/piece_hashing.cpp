#include "catalog/piece_hashing.h"

#include <algorithm>
#include <utility>

namespace catpack {

namespace {

// Pieces in flight at most: bounds the memory whatever the members' sizes.
constexpr std::size_t pieceCount = 8;

// Bytes handed over for hashing: in a piece buffer, or else (`piece` null)
// in the data file at `at`.
struct QueuedBytes {
  unsigned char* piece;
  std::uint64_t at;
  std::uint64_t count;
};

}  // namespace

struct PieceHashing::Member {
  Md5Context context;
  std::deque<QueuedBytes> queued;  // handed over, not yet hashed
  bool busy = false;     // a thread is hashing one of its pieces
  bool unreadable = false;  // bytes to read back could not be read
  bool ended = false;    // no more pieces will come
  bool dropped = false;  // nobody will ask for the digest
  bool done = false;     // `digest` holds the result
  std::string digest;
  std::list<Member>::iterator self;
};

PieceHashing::PieceHashing(unsigned helpers, std::uint64_t largestMember)
    : pieceBytes_(static_cast<std::uint32_t>(
          std::clamp<std::uint64_t>(largestMember, smallestPieceSize, pieceSize))) {
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
    for (const QueuedBytes& bytes : member.queued) {
      if (bytes.piece != nullptr) freePieces_.push_back(bytes.piece);
    }
  }
  members_.clear();
  asides_.clear();
}

void PieceHashing::runAside(AsideWork& aside) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    asides_.push_back(&aside);
  }
  changed_.notify_all();
}

void PieceHashing::waitFor(AsideWork& aside) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!aside.done) {
    if (!workOnce(lock)) changed_.wait(lock);
  }
}

void PieceHashing::readBackWith(ReadBack readBack) {
  const std::lock_guard<std::mutex> lock(mutex_);
  readBack_ = std::move(readBack);
}

unsigned char* PieceHashing::takePiece(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Pieces are made as they are first needed, so that a catalog of small
  // members holds only the few it uses.
  if (freePieces_.empty() && pieces_.size() < pieceCount) {
    pieces_.emplace_back(new unsigned char[pieceBytes_]);
    return pieces_.back().get();
  }
  while (freePieces_.empty()) {
    if (!wait) return nullptr;
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
    member->queued.push_back({piece, 0, count});
  }
  changed_.notify_all();
}

void PieceHashing::hashWritten(Member* member, std::uint64_t at, std::uint32_t count) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    // Bytes that follow the last ones to read back are read with them.
    if (!member->queued.empty() && member->queued.back().piece == nullptr &&
        member->queued.back().at + member->queued.back().count == at) {
      member->queued.back().count += count;
    } else {
      member->queued.push_back({nullptr, at, count});
    }
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
    for (const QueuedBytes& bytes : member->queued) {
      if (bytes.piece != nullptr) freePieces_.push_back(bytes.piece);
    }
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

bool PieceHashing::isOpen(const Member& member) {
  return !member.busy && !member.done && !member.dropped;
}

bool PieceHashing::workOnce(std::unique_lock<std::mutex>& lock, bool helping) {
  if (!asides_.empty()) {
    AsideWork* aside = asides_.front();
    asides_.pop_front();
    lock.unlock();
    aside->work();
    lock.lock();
    aside->done = true;
    changed_.notify_all();
    return true;
  }
  Member* chosen = helping ? helperChoice() : nullptr;
  for (auto member = members_.begin(); chosen == nullptr && member != members_.end(); ++member) {
    if (isOpen(*member) && (!member->queued.empty() || member->ended)) chosen = &*member;
  }
  if (chosen == nullptr) return false;
  workOn(*chosen, lock);
  return true;
}

PieceHashing::Member* PieceHashing::helperChoice() {
  // Pieces first, oldest first, so that they come back soon; then bytes to
  // read back, newest first: the oldest members are left to the writing
  // thread, which hashes them while it waits for their digests, so that two
  // large members are hashed side by side once all bytes are written.
  for (Member& member : members_) {
    if (isOpen(member) && !member.queued.empty() && member.queued.front().piece != nullptr) {
      return &member;
    }
  }
  for (auto member = members_.rbegin(); member != members_.rend(); ++member) {
    if (isOpen(*member) && !member->queued.empty()) return &*member;
  }
  return nullptr;
}

void PieceHashing::workOn(Member& member, std::unique_lock<std::mutex>& lock) {
  if (member.queued.empty()) {
    // Ended with every byte hashed.
    if (!member.unreadable) member.digest = md5ToHex(md5Final(member.context));
    member.done = true;
    changed_.notify_all();
    return;
  }
  const QueuedBytes bytes = member.queued.front();
  member.queued.pop_front();
  member.busy = true;
  std::unique_ptr<unsigned char[]> readBackBuffer;
  if (bytes.piece == nullptr) {
    if (readBackBuffers_.empty()) {
      readBackBuffer.reset(new unsigned char[pieceBytes_]);
    } else {
      readBackBuffer = std::move(readBackBuffers_.back());
      readBackBuffers_.pop_back();
    }
  }
  lock.unlock();
  bool read = true;
  if (bytes.piece != nullptr) {
    md5Update(member.context, bytes.piece, static_cast<std::uint32_t>(bytes.count));
  } else {
    read = hashReadBack(member.context, bytes.at, bytes.count, readBackBuffer.get());
  }
  lock.lock();
  if (readBackBuffer) readBackBuffers_.push_back(std::move(readBackBuffer));
  member.busy = false;
  member.unreadable = member.unreadable || !read;
  if (bytes.piece != nullptr) freePieces_.push_back(bytes.piece);
  if (member.dropped) forget(&member);
  changed_.notify_all();
}

bool PieceHashing::hashReadBack(Md5Context& context, std::uint64_t at, std::uint64_t count,
                                unsigned char* buffer) {
  while (count > 0) {
    const auto part = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, pieceBytes_));
    if (!readBack_(at, buffer, part)) return false;
    md5Update(context, buffer, part);
    at += part;
    count -= part;
  }
  return true;
}

void PieceHashing::helpOut() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (!workOnce(lock, true)) changed_.wait(lock);
  }
}

}  // namespace catpack
