#pragma once
// The engine's command line as the program writes it, read into a record.
//
//   probe:      trancor -i SOURCE
//   conversion: trancor -i SOURCE [OPTION...] OUTPUT
// The output is always the last argument; every option before it must be
// one the program can write (see kOptions in EngineCommand.cpp) with its value.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/trancor/SourceFactsWord.h"

namespace mivora::trancor {

struct EngineCommand {
  bool probe = false;  // only "-i SOURCE" was given
  std::string input;
  std::string output;

  std::optional<uint32_t> hwnd;  // endpoint for the console text
  int dxva2 = 0;                 // hardware decoding wish; decoding here is in software
  int d3dMode = -1;              // 3D mode of the edits (-1: no 3D)
  int d3dDepth = 0;              // 3D depth of the edits

  std::string target;  // "ntsc-dvd", "ntsc-svcd", "ntsc-vcd"
  std::string videoBitrate, frameRate, aspect, size, videoCodec;
  std::string audioBitrate, sampleRate, channels, audioCodec;
  std::optional<int> volume;  // 256 is unchanged
  bool noAudio = false, noVideo = false;
  // "-fixedframe": the profile's frame is fixed by a standard (the disc
  // group says so; the text itself cannot); the runner adds it.
  bool fixedFrame = false;
  std::string strict;                     // "-strict" value, e.g. "experimental"
  std::string pixelFormat;                // "-pix_fmt": a profile's own choice
  std::vector<std::string> videoFilters;  // each "-vf" value in order
  std::string seek, length;               // "-ss" and "-t"
  // "-sourcefacts": what the program's probe read of the source; without
  // it (or once the file has changed since) the adapter reads the source.
  std::optional<ProbedSource> sourceFacts;
};

struct ParsedCommand {
  bool ok = false;
  std::string error;  // a readable reason when !ok
  EngineCommand command;
};

// `args` are the arguments after the program name.
ParsedCommand ParseEngineCommand(const std::vector<std::string>& args);

}  // namespace mivora::trancor
