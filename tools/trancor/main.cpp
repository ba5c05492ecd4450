// trancor: the converter engine. Accepts the engine command lines the program
// writes and has Debian's ffmpeg do the work; its exit code is ffmpeg's.

#include <string>
#include <vector>

#include "tools/trancor/EngineCommand.h"
#include "tools/trancor/EngineRun.h"
#include "tools/trancor/TrancorExitCodes.h"

int main(int argc, char** argv) {
  using namespace mivora::trancor;
  std::vector<std::string> args(argv + 1, argv + argc);
  ParsedCommand parsed = ParseEngineCommand(args);
  if (!parsed.ok) {
    ReportLine(parsed.command.hwnd ? &parsed.command : nullptr, "trancor: " + parsed.error);
    return kExitBadCommandLine;
  }
  return RunEngineCommand(parsed.command);
}
