#include "pipeline/TaskBuilder.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdint>
#include <set>

#include "common/Folders.h"
#include "common/Format.h"
#include "common/TextCodec.h"
#include "pipeline/EnginePath.h"
#include "pipeline/MediaProbe.h"
#include "profiles/EngineArguments.h"
#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "profiles/XmlDocument.h"

namespace mivora {
namespace {

int32_t SelectedVideoBitrateBps(const std::string& profilePath) {
  int64_t bps = int64_t{ReadSelectedBitrate(profilePath, "VideoBitrateList")} * 1024;
  return static_cast<int32_t>(std::clamp<int64_t>(bps, 0, INT32_MAX));
}


// The `index` attribute of the ten list elements (0 when missing).
std::array<int32_t, kParameterCount> ListIndices(const XmlDocument& document) {
  std::array<int32_t, kParameterCount> indices{};
  XmlNode root = document.Root();
  for (int i = 0; i < kParameterCount; ++i)
    indices[i] = root.SelectChild(kListElementNames[i], false).GetIntAttribute("index", 0);
  return indices;
}

// Two jobs of one batch never write one file: a later job whose output is
// taken gets "title (2).ext", "title (3).ext", ... Files that were there
// before the batch are not looked at; the runner asks about those.
std::string UniqueInBatch(std::string path, std::string_view extension,
                          std::set<std::string>* taken) {
  if (taken->insert(path).second) return path;
  std::string stem = path.substr(0, path.size() - extension.size() - 1);
  for (int n = 2;; ++n) {
    std::string numbered = stem + " (" + std::to_string(n) + ")." + std::string(extension);
    if (taken->insert(numbered).second) return numbered;
  }
}

// Whether the profile makes a picture, and whether the source lacks the
// track the profile needs. A probe that found nothing decides nothing.
void MarkMissingTracks(const Profile& profile, const MediaInfo& facts, ConversionJob* job) {
  job->makesPicture = profile.videoDisable != "Yes";
  bool probed = !facts.video.duration.empty();
  bool soundWanted = profile.audioDisable != "Yes";
  job->lacksPicture = probed && job->makesPicture && facts.video.videoCodec.empty();
  job->lacksSound = probed && !job->makesPicture && soundWanted && facts.audio.audioCodec.empty();
}

}  // namespace

const std::vector<std::string_view>& MediaFileExtensions() {
  // Containers and sound files the engine's demuxers open, by their usual names.
  static const std::vector<std::string_view> kExtensions = {
      "mpg", "mpeg", "mpe", "m1v", "m2v", "mp4", "m4v", "mov", "qt", "3gp", "3g2", "flv", "f4v", "avi",
      "divx", "wmv", "asf", "rm", "rmvb", "mkv", "mk3d", "webm", "vob", "ts", "m2ts", "mts", "m2t", "tp",
      "trp", "ogv", "ogm", "ogg", "dv", "mxf", "nut", "y4m", "gif", "swf", "amv", "mp3", "wav", "opus",
      "flac", "m4a", "aac", "ac3", "eac3", "dts", "wma", "mka", "oga", "spx", "amr", "aif", "aiff", "ape",
      "mp2", "au"};
  return kExtensions;
}

bool HasVideoFileExtension(std::string_view path) {
  std::string_view name = BaseName(path);
  size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const auto& known = MediaFileExtensions();
  return std::find(known.begin(), known.end(), extension) != known.end();
}

std::string WhyNotAdded(const std::string& path, AddRoute route, const SourceList& list) {
  if (!FileExists(path)) return "no such file";
  if (IsDirectory(path)) return "a folder";
  if (route == AddRoute::kDialog && !HasVideoFileExtension(path)) return "not a video file extension";
  if (::access(path.c_str(), R_OK) != 0) return "not readable";
  if (list.Contains(path)) return "already in the list";
  return "";
}

bool BuildItemFromProfile(const TargetProfile& target, SourceItem* item, std::string* error) {
  *item = SourceItem{};
  Profile profile;
  if (!profile.Load(target.path)) {
    if (error) *error = "The profile file \"" + target.path + "\" cannot be read.";
    return false;
  }
  item->targetExtension = profile.formatExt;
  item->engineArgs = profile.BuildEngineArguments();
  XmlDocument document;
  if (document.Load(target.path)) item->listIndices = ListIndices(document);
  item->profilePath = target.path;
  item->profileId = target.id;
  item->videoBitrateBps = SelectedVideoBitrateBps(target.path);
  return true;
}

uint64_t EstimatedOutputBytes(int64_t videoBitsPerSecond, int64_t audioBitsPerSecond, double seconds) {
  double bitsPerSecond = static_cast<double>(std::max<int64_t>(videoBitsPerSecond, 0)) +
                         static_cast<double>(std::max<int64_t>(audioBitsPerSecond, 0));
  double bytes = bitsPerSecond / 8.0 * std::max(seconds, 0.0);
  if (!(bytes < 1.8e19)) return bytes > 0 ? UINT64_MAX : 0;  // and NaN
  return static_cast<uint64_t>(std::llround(bytes));
}

double ConvertedSeconds(const SourceItem& item) {
  double whole = ExactDurationSeconds(item.mediaInfo.video);
  const EditSettings* edits = item.editSettings.get();
  if (!edits || !edits->trimEnabled) return whole;
  // The trim is in whole seconds; an end at the source's last whole second
  // means its end.
  double end = edits->trimEnd;
  if (whole > 0 && end >= std::floor(whole)) end = whole;
  return std::max(0.0, end - edits->trimStart);
}

void RefreshEstimatedSize(SourceItem* item) {
  Profile profile;
  bool loaded = !item->profilePath.empty() && profile.Load(item->profilePath);
  int64_t video = loaded && profile.videoDisable == "Yes" ? 0 : item->videoBitrateBps;
  int64_t audio = 0;
  if (!loaded || profile.audioDisable != "Yes")
    audio = int64_t{ReadSelectedBitrate(item->profilePath, "AudioBitrateList")} * 1024;
  item->estimatedSize = FormatByteSize(EstimatedOutputBytes(video, audio, ConvertedSeconds(*item)));
}

void ApplyProbedFacts(const MediaInfo& facts, SourceItem* item) {
  item->mediaInfo = facts;
  item->durationSeconds = ParseClock(facts.video.duration);
  RefreshEstimatedSize(item);
}

bool BuildSourceItem(const std::string& path, const TargetProfile& target, SourceItem* item,
                     std::string* error, std::string* engineError, const ProbeLimits& limits) {
  MediaInfo facts;
  ProbeOutcome probe = ProbeMedia(path, &facts, limits);
  if (engineError) *engineError = probe.engineError;
  if (!BuildItemFromProfile(target, item, error)) {
    item->sourcePath = path;
    item->mediaInfo = facts;
    return false;
  }
  item->sourcePath = path;
  ApplyProbedFacts(facts, item);
  return true;
}

std::string OutputPathFor(std::string folder, std::string_view sourcePath, std::string_view extension) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::string_view title = BaseName(sourcePath);
  size_t dot = title.find_last_of('.');
  if (dot != std::string_view::npos) title = title.substr(0, dot);
  return folder + std::string(title) + "." + std::string(extension);
}

JobListResult BuildJobList(SourceList& list, const std::string& outputFolder) {
  JobListResult result;
  std::set<std::string> taken;
  size_t count = list.Count();
  for (size_t i = 0; i < count; ++i) {
    std::optional<SourceItem> item = list.At(i);
    if (!item) break;
    Profile profile;
    if (!profile.Load(item->profilePath)) {
      result.jobs.clear();
      result.error = "The profile file \"" + item->profilePath + "\" of \"" + item->sourcePath +
                     "\" cannot be read.";
      return result;
    }
    std::string editArguments;
    int32_t duration = item->durationSeconds;
    // The estimate follows the item's last edits and profile choices.
    list.Update(i, [&](SourceItem& stored) { RefreshEstimatedSize(&stored); });
    if (std::optional<SourceItem> fresh = list.At(i)) item->estimatedSize = fresh->estimatedSize;
    if (item->editSettings) {
      // Rendering may switch a vanished picture watermark off in the item itself.
      list.Update(i, [&](SourceItem& stored) {
        if (!stored.editSettings) return;
        editArguments = stored.editSettings->BuildEditArguments();
        if (stored.editSettings->trimEnabled) duration = stored.editSettings->TrimmedSeconds();
      });
    }
    ConversionJob job;
    job.sourcePath = item->sourcePath;
    job.outputPath = UniqueInBatch(OutputPathFor(outputFolder, item->sourcePath, profile.formatExt),
                                   profile.formatExt, &taken);
    job.estimatedSize = item->estimatedSize;
    job.targetExtension = item->targetExtension;
    job.engineArgs =
        RepairUtf8(FinishEngineArguments(item->engineArgs + " " + editArguments, profile.videoAspectRatio));
    job.durationSeconds = duration;
    MarkMissingTracks(profile, item->mediaInfo, &job);
    job.fixedFrame = FrameFormatOf(profile).fixedByStandard;
    job.sourceFacts = item->mediaInfo.engineFacts;
    result.jobs.push_back(std::move(job));
  }
  result.ok = true;
  return result;
}

void ApplyProfileToRows(SourceList& list, const std::vector<size_t>& rows, const std::string& path,
                        int32_t id, bool withExtension) {
  XmlDocument document;
  bool opened = document.Load(path);
  Profile profile;
  std::string arguments;
  bool loaded = profile.Load(path);
  if (loaded) arguments = profile.BuildEngineArguments();
  if (!opened) return;
  std::array<int32_t, kParameterCount> indices = ListIndices(document);
  int32_t bitrate = SelectedVideoBitrateBps(path);
  for (size_t row : rows) {
    list.Update(row, [&](SourceItem& item) {
      item.listIndices = indices;
      item.profilePath = path;
      item.profileId = id;
      item.engineArgs = arguments;
      if (withExtension) item.targetExtension = profile.formatExt;
      item.videoBitrateBps = bitrate;
      RefreshEstimatedSize(&item);
    });
  }
}

}  // namespace mivora
