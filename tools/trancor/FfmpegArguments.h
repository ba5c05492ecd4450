#pragma once
// The ffmpeg command that does what an engine command means.

#include <string>
#include <vector>

#include "tools/colour/ColourRule.h"
#include "tools/trancor/EngineCommand.h"
#include "tools/trancor/SourceFacts.h"

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
// `source` says what is known of the input: a PQ or HLG source is tone-mapped
// to BT.709 SDR (kToneMapToSdr) before the edits, and the output is tagged
// BT.709; its chosen tracks are named with "-map" (video "0:v:N", audio
// "0:a:N?"). Subtitle and data streams are never carried over.
FfmpegCommand BuildConversionCommand(const EngineCommand& command, const std::string& inputPath,
                                     const SourceFacts& source = {});

// The chain of the colour rule that the editor's player shares.
using colour::kToneMapToSdr;

}  // namespace mivora::trancor
