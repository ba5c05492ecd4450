#pragma once
// One file of one batch run, as the batch runner executes it, and what
// became of it.

#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/JobFailure.h"

namespace mivora {

struct ConversionJob {
  std::string sourcePath;
  std::string outputPath;
  std::string estimatedSize;    // FormatByteSize text; the free-space check reads it back
  std::string targetExtension;
  std::string engineArgs;       // the complete engine argument text (UTF-8)
  int32_t durationSeconds = 0;  // length of the part to convert; the progress denominator
  // What the probe found against what the profile makes. A sound-only
  // profile for a source without sound fails before the engine starts; a
  // video profile for a source without a picture makes a file of its sound
  // and the report says so. Both stay false when the probe learnt nothing.
  bool makesPicture = true;   // false for a sound-only (audio) profile
  bool lacksPicture = false;  // a video profile, a source without a picture
  bool lacksSound = false;    // an audio profile, a source without sound

  // The profile's frame is fixed by a standard (its group says so, which the
  // argument text cannot): the engine then keeps the frame and adds bars.
  bool fixedFrame = false;

  // What the probe read of the source for the engine (MediaInfo::engineFacts,
  // one word); empty: the engine reads the source itself.
  std::string sourceFacts;

  // What the engine is given after its input: the adapter's own options
  // (the source's facts, the frame), then the argument text.
  std::string EngineRunArguments() const {
    return (sourceFacts.empty() ? "" : "-sourcefacts " + sourceFacts + " ") + (fixedFrame ? "-fixedframe " : "") +
           engineArgs;
  }
};

enum class JobOutcome {
  kNotRun,     // the batch ended before this job (cancelled, or stopped for lack of space)
  kSucceeded,  // the engine ended with 0, the output reads back as media and is long enough (OutputLength.h)
  kFailed,     // see `reason`
  kSkipped,    // the user chose not to overwrite an existing file
  kDeleted,    // the user removed the job from the batch
  kCancelled,  // the job was running when the batch was cancelled
};

struct JobResult {
  std::string sourcePath;
  std::string outputPath;
  JobOutcome outcome = JobOutcome::kNotRun;
  int exitCode = 0;
  std::string reason;                    // for a failure: what went wrong, in a person's words
  std::vector<std::string> engineLines;  // the engine's last lines, for a failure (the log's)
  FailureKind failure = FailureKind::kNone;
  std::string note;  // for a success: what the person should know (a file made of sound only)
};

struct BatchSummary {
  std::vector<JobResult> jobs;  // in the order the jobs were added
  bool stoppedForSpace = false;
  bool shuttingDown = false;
  bool AllSucceeded() const;
  // "Converted successfully!" when every job succeeded, else a short report
  // naming every job that did not, and why; then the notes of the jobs
  // that succeeded with one.
  std::string Text() const;
};

}  // namespace mivora
