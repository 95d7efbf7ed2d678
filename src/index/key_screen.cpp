#include "index/key_screen.h"

#include <string>
#include <utility>

#include "util/console.h"

namespace catpack {

KeyScreen::KeyScreen(const PatternList& patterns, std::vector<PatternHandle> compiled)
    : patterns_(patterns),
      compiled_(std::move(compiled)),
      hints_(analyseAll(compiled_)),
      inBeforeItems_(isExclude(patterns.front())) {}

std::unique_ptr<KeyScreen> KeyScreen::make(const PatternList& patterns) {
  if (patterns.empty()) return nullptr;
  std::vector<PatternHandle> compiled;
  {
    // The filter pass compiles the patterns again and tells of any that fail.
    std::string untold;
    const MessageCapture capture(untold);
    compiled = compileAll(patterns);
  }
  if (!allCompiled(compiled)) return nullptr;
  return std::unique_ptr<KeyScreen>(new KeyScreen(patterns, std::move(compiled)));
}

KeyScreen::Verdict KeyScreen::judge(std::string_view key) {
  // A pattern quiet for a length is quiet for every shorter one.
  if (key.size() >= quietBelow_) {
    if (!allQuietFor(hints_, key.size())) return Verdict::untold;
    quietBelow_ = key.size() + 1;
  }
  const bool in = inSetAfter(patterns_, compiled_, hints_, 0, patterns_.size(), inBeforeItems_, true,
                             EntryText(key.data(), key.size()), true);
  return in ? Verdict::kept : Verdict::dropped;
}

}  // namespace catpack
