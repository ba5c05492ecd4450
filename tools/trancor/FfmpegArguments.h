#pragma once
// The ffmpeg command that does what an engine command means.

#include <string>
#include <vector>

#include "tools/colour/ColourRule.h"
#include "tools/trancor/EngineCommand.h"
#include "tools/trancor/HdrMetadata.h"
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
// BT.709, unless the command's output keeps HDR (KeepsHdr); then it keeps
// the source's colour description, tagged BT.2020 where the source leaves it
// unnamed, and `hdr` is written into it. Its chosen tracks are named with
// "-map" (video "0:v:N", audio "0:a:N?"); subtitle and data streams are never
// carried over. MP4, M4A and MOV outputs have their index at the front, so
// that they start playing before they have loaded.
FfmpegCommand BuildConversionCommand(const EngineCommand& command, const std::string& inputPath,
                                     const SourceFacts& source = {}, const HdrMetadata& hdr = {});

// The command's video output keeps a PQ or HLG source's high dynamic range
// (profiles/HdrOutput.h).
bool KeepsHdr(const EngineCommand& command);

// The chain of the colour rule that the editor's player shares.
using colour::kToneMapToSdr;

}  // namespace mivora::trancor
