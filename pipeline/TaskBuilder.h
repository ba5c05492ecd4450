#pragma once
// Building the source list's items when files are added, the job list when
// a batch starts, and applying a profile to chosen items. The desktop
// program and the command line both go through these functions.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/ConversionJob.h"
#include "pipeline/InProcessProbe.h"
#include "pipeline/SourceList.h"

namespace mivora {

// The profile new items get: its file and its menu identifier.
struct TargetProfile {
  std::string path;
  int32_t id = 0;
};

// How files arrive: the open-file dialog accepts only media extensions;
// dropped files (and files handed over, named on the command line or
// restored) need only be readable files. They are added through the source
// session (sources/SourceSession.h).
enum class AddRoute { kDialog, kDrop };

// The extensions (lower case, without the dot) of the video and sound files
// the engine reads: the open-file dialog shows and accepts these.
const std::vector<std::string_view>& MediaFileExtensions();
// True when the path's extension, in any case, is one of MediaFileExtensions().
bool HasVideoFileExtension(std::string_view path);

// Why `path` is not added by `route`, as a short phrase ("" when it is):
// missing, a folder, not a video file extension (dialog route), not readable,
// already in `list`.
std::string WhyNotAdded(const std::string& path, AddRoute route, const SourceList& list);

// What every new item gets from the target profile: target extension, engine
// arguments, list positions, video bit rate. No path and no facts yet. False
// (with `error`) when the profile cannot be read.
bool BuildItemFromProfile(const TargetProfile& target, SourceItem* item, std::string* error);
// Stores a file's probed facts in its item, with its duration in seconds and
// the estimated size they give (RefreshEstimatedSize).
void ApplyProbedFacts(const MediaInfo& facts, SourceItem* item);

// The output's estimated size in bytes: (video + audio bit rate, in bit/s)
// / 8 x the seconds converted, rounded.
uint64_t EstimatedOutputBytes(int64_t videoBitsPerSecond, int64_t audioBitsPerSecond, double seconds);
// Seconds of the source a conversion takes: the exact probed duration, or
// the trimmed range (a range that runs to the end keeps the last fraction).
double ConvertedSeconds(const SourceItem& item);
// Sets the item's estimated size from its profile's selected bit rates (a
// track the profile turns off counts 0), its exact duration and its trim.
// Called whenever one of those changes.
void RefreshEstimatedSize(SourceItem* item);

// Probes the file and fills the item from the target profile. False (with
// `error`) when the profile cannot be read; a failed probe still gives an
// item, with empty facts. `engineError` (optional) learns why the probe could
// not run the engine at all ("" when it ran or was not needed).
// The probe runs within `limits`.
bool BuildSourceItem(const std::string& path, const TargetProfile& target, SourceItem* item,
                     std::string* error, std::string* engineError = nullptr, const ProbeLimits& limits = {});

struct JobListResult {
  bool ok = false;
  std::vector<ConversionJob> jobs;
  std::string error;  // why no batch can start
};
// One job per item, in list order, writing into `outputFolder`. Outputs are
// unique within the batch: when two items would write one file (a.avi and
// a.mkv to a.mp4), the later one writes "a (2).mp4", then "a (3).mp4"...
// Fails as a whole when an item's profile can no longer be read.
JobListResult BuildJobList(SourceList& list, const std::string& outputFolder);

// The output file of a source: folder + title (the name before its last
// '.') + "." + extension.
std::string OutputPathFor(std::string folder, std::string_view sourcePath, std::string_view extension);

// Copies the profile at `path` into the items at `rows`: list positions,
// profile path and identifier, engine arguments, selected video bit rate,
// the estimated size and, when `withExtension`, the target extension. Rows stay unchanged when the
// file does not open as a document.
void ApplyProfileToRows(SourceList& list, const std::vector<size_t>& rows, const std::string& path,
                        int32_t id, bool withExtension);

}  // namespace mivora
