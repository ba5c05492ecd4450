#include "pipeline/MediaProbe.h"

#include "common/Log.h"
#include "common/TextCodec.h"
#include "pipeline/ProbeParser.h"
#include "pipeline/Trancor.h"

namespace mivora {

ProbeOutcome ProbeMedia(const std::string& path, MediaInfo* info, const ProbeLimits& limits) {
  *info = {};
  ProbeOutcome outcome;
  std::string text;
  TrackChoice tracks;
  switch (DescribeSourceInProcess(path, limits, &text, &tracks, &info->engineFacts)) {
    case DescribeOutcome::kDescribed:
    case DescribeOutcome::kNotMedia:
      text = RepairUtf8(text);
      MLOG("%s\n", text.c_str());
      outcome.found = ParseProbeOutput(text, &info->video, &info->audio, &tracks);
      return outcome;
    case DescribeOutcome::kStopped:
      outcome.stopped = true;
      return outcome;
    case DescribeOutcome::kUnavailable:
      break;
  }
  const std::string why = InProcessProbeError();
  MLOG("ProbeMedia, %s: probed by the engine (%s)", path.c_str(),
       why.empty() ? "not a file this process opens" : why.c_str());
  Trancor engine;
  engine.SetProbeTimeout(limits.time);
  engine.SetCancelFlag(limits.cancel);
  outcome.byEngine = true;
  outcome.found = engine.Probe(path, &info->video, &info->audio);
  outcome.engineError = engine.EngineError();
  return outcome;
}

}  // namespace mivora
