// Prints the ffmpeg command that trancor runs for an engine command line
// (the arguments after "trancor"), one argument per line, so that a
// benchmark can run the same ffmpeg work without the program around it.

#include <cstdio>
#include <string>
#include <vector>

#include "tools/trancor/EngineCommand.h"
#include "tools/trancor/FfmpegArguments.h"
#include "tools/trancor/SourceFacts.h"

int main(int argc, char** argv) {
  using namespace mivora::trancor;
  ParsedCommand parsed = ParseEngineCommand(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.ok) {
    std::fprintf(stderr, "engine_ffmpeg_arguments: %s\n", parsed.error.c_str());
    return 2;
  }
  // The source's facts as trancor reads them (its tracks, shape and colour).
  HdrMetadata hdr;
  const SourceFacts source = ReadSourceFacts(parsed.command.input, nullptr, &hdr);
  FfmpegCommand ffmpeg = BuildConversionCommand(parsed.command, parsed.command.input, source, hdr);
  if (!ffmpeg.ok) {
    std::fprintf(stderr, "engine_ffmpeg_arguments: %s\n", ffmpeg.error.c_str());
    return 3;
  }
  for (const std::string& arg : ffmpeg.argv) std::printf("%s\n", arg.c_str());
  return 0;
}
