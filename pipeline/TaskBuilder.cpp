#include "pipeline/TaskBuilder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <thread>

#include "common/Folders.h"
#include "common/Format.h"
#include "common/TextCodec.h"
#include "pipeline/Trancor.h"
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

std::string EstimatedSize(int32_t videoBitrateBps, int32_t durationSeconds) {
  return FormatByteSize(BitrateToBytes(static_cast<uint32_t>(std::max(videoBitrateBps, 0)),
                                       static_cast<uint32_t>(std::max(durationSeconds, 0))));
}

// The `index` attribute of the ten list elements (0 when missing).
std::array<int32_t, kParameterCount> ListIndices(const XmlDocument& document) {
  std::array<int32_t, kParameterCount> indices{};
  XmlNode root = document.Root();
  for (int i = 0; i < kParameterCount; ++i)
    indices[i] = root.SelectChild(kListElementNames[i], false).GetIntAttribute("index", 0);
  return indices;
}

}  // namespace

bool HasVideoFileExtension(std::string_view path) {
  static const char* const kExtensions[] = {"MPG", "MP4", "MOV",  "FLV", "AVI", "WMV", "ASF",
                                            "RMVB", "MKV", "VOB", "TS",  "RM",  "M4V"};
  std::string_view name = BaseName(path);
  size_t dot = name.find_last_of('.');
  std::string extension(dot == std::string_view::npos ? name : name.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return std::find(std::begin(kExtensions), std::end(kExtensions), extension) != std::end(kExtensions);
}

bool BuildSourceItem(const std::string& path, const TargetProfile& target, SourceItem* item,
                     std::string* error) {
  *item = SourceItem{};
  item->sourcePath = path;
  Trancor probe;
  probe.Probe(path, &item->mediaInfo.video, &item->mediaInfo.audio);

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
  item->durationSeconds = ParseClock(item->mediaInfo.video.duration);
  item->estimatedSize = EstimatedSize(item->videoBitrateBps, item->durationSeconds);
  return true;
}

AddFilesResult AddFiles(SourceList& list, const std::vector<std::string>& paths,
                        const TargetProfile& target, AddRoute route,
                        const std::function<void(const SourceItem&)>& onAdded,
                        std::chrono::milliseconds pauseAfterEach) {
  AddFilesResult result;
  for (const std::string& path : paths) {
    bool acceptable = FileExists(path) && !IsDirectory(path) &&
                      (route == AddRoute::kDrop || HasVideoFileExtension(path));
    if (!acceptable || list.Contains(path)) {
      result.skipped.push_back(path);
      continue;
    }
    SourceItem item;
    if (!BuildSourceItem(path, target, &item, &result.error)) {
      result.profileFailed = true;
      break;
    }
    if (!list.Append(item)) {  // added meanwhile by another thread
      result.skipped.push_back(path);
      continue;
    }
    result.added.push_back(path);
    if (onAdded) onAdded(item);
    if (pauseAfterEach.count() > 0) std::this_thread::sleep_for(pauseAfterEach);
  }
  return result;
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
    job.outputPath = OutputPathFor(outputFolder, item->sourcePath, profile.formatExt);
    job.estimatedSize = item->estimatedSize;
    job.targetExtension = item->targetExtension;
    job.engineArgs =
        RepairUtf8(FinishEngineArguments(item->engineArgs + " " + editArguments, profile.videoAspectRatio));
    job.durationSeconds = duration;
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
    });
  }
}

}  // namespace mivora
