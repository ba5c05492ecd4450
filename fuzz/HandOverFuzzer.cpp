// libFuzzer target: a second start's hand-over message, read as the running
// program reads it (whole or cut anywhere). A complete message stays within
// the limits and encodes back to the very same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/startup/HandOverMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> paths;
  for (size_t cut : {size / 2, size}) {
    const mivora::HandOverParse parse = mivora::ParseHandOver(bytes.substr(0, cut), &paths);
    if (parse != mivora::HandOverParse::kComplete) {
      if (!paths.empty()) std::abort();
      continue;
    }
    if (paths.size() > mivora::kHandOverMaxPaths) std::abort();
    if (mivora::EncodeHandOver(paths) != bytes.substr(0, cut)) std::abort();
  }
  return 0;
}
