// libFuzzer target: the profile line reader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "profiles/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mivora::Profile profile;
  profile.LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
  (void)profile.BuildEngineArguments();
  return 0;
}
