#pragma once
// The ffmpeg command that does what an engine command means.

#include <string>
#include <vector>

#include "tools/trancor/EngineCommand.h"

namespace mivora::trancor {

struct FfmpegCommand {
  bool ok = false;
  std::string error;  // a readable reason when !ok (e.g. a codec not to be had)
  std::vector<std::string> argv;  // argv[0] is "ffmpeg"
};

// `inputPath` is the file ffmpeg opens (the input itself, or an alias of it).
// Paths are passed with the "file:" prefix so that no name is taken for an
// option, a protocol or a device; the output is always overwritten (the
// program has asked already) and standard input is never read.
FfmpegCommand BuildProbeCommand(const std::string& inputPath);
FfmpegCommand BuildConversionCommand(const EngineCommand& command, const std::string& inputPath);

}  // namespace mivora::trancor
