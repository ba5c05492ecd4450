// libFuzzer target: the probe parser over arbitrary engine output. Whatever
// it picks must be text that the rest of the program can use.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/TextCodec.h"
#include "pipeline/MediaInfo.h"
#include "pipeline/ProbeParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  mivora::MediaInfo info;
  mivora::ParseProbeOutput(text, &info.video, &info.audio);
  for (const auto& [name, value] : mivora::MediaInfoFields(info)) {
    if (value.size() > size) std::abort();
    if (value.find('\n') != std::string_view::npos) std::abort();
  }
  return 0;
}
