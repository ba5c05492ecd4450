#include "tools/trancor/RecordSplitter.h"

namespace mivora::trancor {

std::vector<std::string> RecordSplitter::Feed(std::string_view bytes) {
  std::vector<std::string> records;
  for (char c : bytes) {
    if (c == '\r' || c == '\n') {
      if (!pending_.empty()) records.push_back(std::move(pending_));
      pending_.clear();
    } else {
      pending_.push_back(c);
    }
  }
  return records;
}

std::string RecordSplitter::Flush() {
  std::string rest = std::move(pending_);
  pending_.clear();
  return rest;
}

}  // namespace mivora::trancor
