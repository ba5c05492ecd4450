// libFuzzer target: config.xml loading over arbitrary bytes; whatever loads
// must save and load back to the same fields.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/ScratchConfigHome.h"
#include "settings/ConfigXml.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = mivora::fuzz::ScratchFolder() + "/config.xml";
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  mivora::CConfigXml config;
  if (config.LoadConfig(path) && config.SaveConfig(path)) {
    mivora::CConfigXml again;
    std::vector<std::string> a, b;
    config.GetRecentDirs(a);
    if (!again.LoadConfig(path)) std::abort();
    again.GetRecentDirs(b);
    if (a != b || config.GetLastProfileId() != again.GetLastProfileId()) std::abort();
  }
  return 0;
}
