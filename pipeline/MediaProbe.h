#pragma once
// Probing a source: in this process when libavformat can read it, else by
// running the engine (Trancor.h). Both give the same facts for the same file:
// the in-process probe writes the very description the engine prints.

#include <string>

#include "pipeline/InProcessProbe.h"
#include "pipeline/MediaInfo.h"

namespace mivora {

struct ProbeOutcome {
  bool found = false;        // the source's duration line was seen
  bool byEngine = false;     // the engine ran (libavformat missing, a pipe or a device)
  bool stopped = false;      // a limit or the cancel flag ended it; no facts
  std::string engineError;   // the engine could not run at all ("" when it ran or was not needed)
};

// Fills `info` (cleared first) with the facts of `path`.
ProbeOutcome ProbeMedia(const std::string& path, MediaInfo* info, const ProbeLimits& limits = {});

}  // namespace mivora
