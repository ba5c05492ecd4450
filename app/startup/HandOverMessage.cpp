#include "app/startup/HandOverMessage.h"

#include <limits.h>

namespace mivora {

std::string EncodeHandOver(const std::vector<std::string>& paths) {
  std::string message(kHandOverHeader);
  for (const std::string& path : paths) {
    message += path;
    message += '\0';
  }
  message += '\0';
  return message;
}

HandOverParse ParseHandOver(std::string_view bytes, std::vector<std::string>* paths) {
  paths->clear();
  if (bytes.size() > kHandOverMaxBytes) return HandOverParse::kInvalid;
  const std::string_view header = bytes.substr(0, kHandOverHeader.size());
  if (header != kHandOverHeader.substr(0, header.size())) return HandOverParse::kInvalid;
  if (header.size() < kHandOverHeader.size()) return HandOverParse::kIncomplete;
  bytes.remove_prefix(kHandOverHeader.size());
  while (true) {
    const size_t end = bytes.find('\0');
    if (end == std::string_view::npos) {
      // A path still arriving may not already be longer than any path can be.
      paths->clear();
      return bytes.size() >= PATH_MAX ? HandOverParse::kInvalid : HandOverParse::kIncomplete;
    }
    if (end == 0) {
      // The list ends here; anything after it is not part of any message.
      if (bytes.size() != 1) break;
      return HandOverParse::kComplete;
    }
    if (end >= PATH_MAX || paths->size() == kHandOverMaxPaths) break;
    paths->emplace_back(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
  }
  paths->clear();
  return HandOverParse::kInvalid;
}

}  // namespace mivora
