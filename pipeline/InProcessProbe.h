#pragma once
// Describing a source in this process, through libavformat: the text the
// engine's "-i" run prints about its input (the "Input #0" block with its
// duration and stream lines), without starting a process. The probe parser
// reads that text exactly as it reads the engine's.
//
// libavformat is loaded on first use, and its log captured per call, by the
// one loader (AvLibraries.h).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "pipeline/TrackChoice.h"

namespace mivora {

// What one probe may spend. A source that needs more (a broken file whose
// demuxer walks for ever, a file on a stalled disk) counts as not probed.
struct ProbeLimits {
  std::chrono::milliseconds time{30000};
  // Bytes read from the source in all. The engine's own limits on what it
  // reads to find the streams (5 MB, 5 s of media) apply as well; this one
  // bounds what a demuxer reads beyond them (indexes, the file's end).
  int64_t bytes = int64_t{512} << 20;
  // Optional: once set, the probe ends at its next read.
  const std::atomic<bool>* cancel = nullptr;
};

enum class DescribeOutcome {
  kDescribed,    // `text` holds the input's description
  kNotMedia,     // libavformat cannot read it; `text` says why, as the engine would
  kStopped,      // a limit or the cancel flag ended it
  kUnavailable,  // libavformat is missing, or the source is a pipe, a device or a concat list
};

// Describes `path` (a local file name, never a protocol address). When
// described, `tracks` (optional) receives the tracks the conversion uses,
// and `engineFacts` (optional) what the engine is handed about the source
// (tools/trancor/SourceFactsWord.h); it stays empty when the streams' facts
// were not found or a limit cut their reading short.
DescribeOutcome DescribeSourceInProcess(const std::string& path, const ProbeLimits& limits,
                                        std::string* text, TrackChoice* tracks = nullptr,
                                        std::string* engineFacts = nullptr);

// Why libavformat could not be loaded ("" when it was, or was never asked).
std::string InProcessProbeError();

}  // namespace mivora
