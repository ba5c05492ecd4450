#pragma once
// Running ffmpeg for an engine command: the probe passes ffmpeg's report
// through on standard output/error; the conversion forwards ffmpeg's console
// text, record by record, to the endpoint named by "-hwnd" (and to standard
// error) as it arrives.

#include "tools/trancor/EngineCommand.h"

namespace mivora::trancor {

// Returns the process exit code (see TrancorExitCodes.h).
int RunEngineCommand(const EngineCommand& command);

// Reports a failure line to standard error and, when `command` names an
// endpoint, to it as well.
void ReportLine(const EngineCommand* command, const std::string& line);

}  // namespace mivora::trancor
