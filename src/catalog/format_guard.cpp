#include "catalog/format_guard.h"

#include "catalog/catalog_format.h"

namespace catpack {

FormatGuard::FormatGuard(bool oldFormat, const unsigned char* existing, std::size_t length)
    : oldFormat_(oldFormat) {
  head_.assign(reinterpret_cast<const char*>(existing),
               length < formatTestLength ? length : formatTestLength);
}

bool FormatGuard::settled() const { return decided_ || head_.size() >= formatTestLength; }

bool FormatGuard::settlesWith(const std::string& storedStart) {
  if (settled()) return true;
  if (oldFormat_) return false;
  const std::string start = head_ + storedStart;
  decided_ = isCurrentCatalogTextWhateverFollows(reinterpret_cast<const unsigned char*>(start.data()),
                                                 start.size());
  return decided_;
}

bool FormatGuard::accepts(const std::string& stored) const {
  if (settled()) return true;
  const std::string candidate = head_ + stored;
  return isOldCatalogText(reinterpret_cast<const unsigned char*>(candidate.data()),
                          candidate.size()) == oldFormat_;
}

void FormatGuard::add(const std::string& stored) {
  if (head_.size() < formatTestLength) head_.append(stored, 0, formatTestLength - head_.size());
}

}  // namespace catpack
