// libFuzzer target: the in-process probe over hostile files. Each input is
// written to a file (its first byte picks the extension, which steers
// libavformat's guess) and probed within tight limits; whatever comes back
// must be text the rest of the program can use, and the probe must end.
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Log.h"
#include "fuzz/ScratchConfigHome.h"
#include "pipeline/InProcessProbe.h"
#include "pipeline/MediaInfo.h"
#include "pipeline/MediaProbe.h"

namespace {

const char* const kExtensions[] = {".mp4", ".avi", ".mkv", ".mpg", ".ts", ".flv", ".wmv", ".mov",
                                   ".rm",  ".vob", ".m4v", ".wav", ".mp3", ".ogg", ".webm", ".bin"};

std::string ScratchFile(uint8_t pick) {
  return mivora::fuzz::ScratchFolder() + "/input" + kExtensions[pick % (sizeof kExtensions / sizeof kExtensions[0])];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string path = ScratchFile(data[0]);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) std::abort();
  std::fwrite(data + 1, 1, size - 1, file);
  std::fclose(file);

  mivora::ResetLogForNewRun();  // one run's lines at a time
  mivora::ProbeLimits limits;
  limits.time = std::chrono::milliseconds(2000);
  limits.bytes = int64_t{16} << 20;
  const auto start = std::chrono::steady_clock::now();
  mivora::MediaInfo info;
  mivora::ProbeOutcome outcome = mivora::ProbeMedia(path, &info, limits);
  const auto took = std::chrono::steady_clock::now() - start;
  // A regular file never needs the engine, and no probe outlives its limit
  // by much (the decoding of what was read already may finish).
  if (outcome.byEngine) std::abort();
  if (took > std::chrono::seconds(10)) std::abort();
  for (const auto& [name, value] : mivora::MediaInfoFields(info)) {
    if (value.find('\n') != std::string_view::npos) std::abort();
    if (value.size() > 4096) std::abort();
  }
  ::unlink(path.c_str());
  return 0;
}
