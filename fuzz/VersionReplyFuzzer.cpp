// libFuzzer target: the version server's reply. Whatever it says, the text
// shown comes from the first 1023 bytes and the question stays bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/VersionReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view reply(reinterpret_cast<const char*>(data), size);
  mivora::VersionInfo info = mivora::ParseVersionReply(reply);
  if (info.text.size() > mivora::kVersionReplyBytes) std::abort();
  if (mivora::NewVersionQuestion(info).size() > 600) std::abort();
  mivora::IsNewerThanOwn(info);
  return 0;
}
