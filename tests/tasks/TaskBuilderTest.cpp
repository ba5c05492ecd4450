#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Folders.h"
#include "common/Format.h"
#include "pipeline/TaskBuilder.h"
#include "sources/AddFiles.h"
#include "profiles/EngineArguments.h"
#include "profiles/ParameterLists.h"
#include "profiles/Profile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kAviProfile =
    std::string(MIVORA_SOURCE_PROFILES) + "/General Video/AVI - Audio Video Interleaved.xml";

// A profile in a folder of its own, so a test can change or remove it.
std::string ProfileCopy(const std::string& from = kAviProfile) {
  std::string path = test::MakeTempDir("profile") + "/Copy.xml";
  std::filesystem::copy_file(from, path);
  return path;
}

const std::string& Clip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("clips") + "/clip one.mp4";
    test::GenerateClip(p, {.seconds = 3, .width = 160, .height = 120});
    return p;
  }();
  return path;
}

TEST(TaskBuilder, OutputPaths) {
  const struct {
    const char* folder;
    const char* source;
    const char* ext;
    const char* output;
  } rows[] = {
      {"/out", "/v/clip", "mp4", "/out/clip.mp4"},
      {"/out/", "/v/clip", "mp4", "/out/clip.mp4"},
      {"/out", "/v/my.holiday.avi", "mkv", "/out/my.holiday.mkv"},
      {"/out", "/v.d/clip", "avi", "/out/clip.avi"},
      {"", "/v/a.avi", "mp3", "/a.mp3"},
  };
  for (const auto& row : rows) EXPECT_EQ(OutputPathFor(row.folder, row.source, row.ext), row.output);
}

TEST(TaskBuilder, VideoExtensionsOfTheOpenDialog) {
  for (const char* yes : {"/a/b.mpg", "/a/b.MP4", "/a/b.Mov", "/a/x.y.rmvb", "/a/b.ts", "/a/b.m4v", "/a/b.webm",
                          "/a/b.M2TS", "/a/b.mts", "/a/b.3gp", "/a/b.ogv", "/a/b.opus", "/a/b.wav"})
    EXPECT_TRUE(HasVideoFileExtension(yes)) << yes;
  for (const char* no : {"/a/b.txt", "/a/b", "/a.avi/b", "/a/b.avi.bak", "/a/b.mp", "/a/avi", "/a/b."})
    EXPECT_FALSE(HasVideoFileExtension(no)) << no;
}

TEST(TaskBuilder, ItemFromAProbedFileAndAProfile) {
  SourceItem item;
  std::string error;
  ASSERT_TRUE(BuildSourceItem(Clip(), {kAviProfile, 77}, &item, &error)) << error;
  Profile profile;
  ASSERT_TRUE(profile.Load(kAviProfile));
  EXPECT_EQ(item.sourcePath, Clip());
  EXPECT_EQ(item.mediaInfo.video.duration, "00:00:03");
  EXPECT_EQ(item.durationSeconds, 3);
  EXPECT_EQ(item.targetExtension, profile.formatExt);
  EXPECT_EQ(item.engineArgs, profile.BuildEngineArguments());
  EXPECT_EQ(item.profilePath, kAviProfile);
  EXPECT_EQ(item.profileId, 77);
  EXPECT_EQ(item.listIndices[kVideoBitrate], profile.videoBitrateList.index);
  EXPECT_EQ(item.listIndices[kAudioCodec], profile.audioCodecList.index);
  int32_t kbps = LeadingInteger(profile.videoBitrateList.items.at(profile.videoBitrateList.index));
  EXPECT_EQ(item.videoBitrateBps, kbps * 1024);
  // Picture and sound over the exact length (the clip's sound runs a little past 3 s).
  int32_t audioKbps = LeadingInteger(profile.audioBitrateList.items.at(profile.audioBitrateList.index));
  double seconds = ExactDurationSeconds(item.mediaInfo.video);
  EXPECT_NEAR(seconds, 3.0, 0.1);
  EXPECT_EQ(item.estimatedSize,
            FormatByteSize(EstimatedOutputBytes(int64_t{kbps} * 1024, int64_t{audioKbps} * 1024, seconds)));
  EXPECT_EQ(item.InfoText().rfind("Duration:00:00:03, Bit Rate:", 0), 0u) << item.InfoText();
}

TEST(TaskBuilder, EstimatedSizeOfAThousandKilobitsForAMinute) {
  std::string path = test::MakeTempDir("profile") + "/Bitrate.xml";
  test::WriteFile(path,
                  "<?xml version=\"1.0\"?>\n<Profile>\n"
                  "    <FormatExt value=\"avi\"/>\n"
                  "    <VideoBitrateList value=\"500,1000,2000\" index=\"1\"/>\n"
                  "</Profile>\n");
  std::string clip = test::MakeTempDir("clips") + "/minute.avi";
  test::GenerateClip(clip, {.seconds = 60, .width = 64, .height = 48, .frameRate = 5, .audio = false});
  SourceItem item;
  std::string error;
  ASSERT_TRUE(BuildSourceItem(clip, {path, 1}, &item, &error)) << error;
  EXPECT_EQ(item.videoBitrateBps, 1024000);
  EXPECT_EQ(item.durationSeconds, 60);
  EXPECT_EQ(item.estimatedSize, "7.32 MB");
}

// A profile file with the given bit-rate lists ("" leaves a list out).
std::string BitrateProfile(const std::string& video, const std::string& audio, bool soundOnly = false) {
  std::string path = test::MakeTempDir("profile") + "/Rates.xml";
  std::string text = "<?xml version=\"1.0\"?>\n<Profile>\n    <FormatExt value=\"avi\"/>\n";
  if (soundOnly) text += "    <VideoDisable value=\"Yes\"/>\n";
  if (!video.empty()) text += "    <VideoBitrateList value=\"" + video + "\"/>\n";
  if (!audio.empty()) text += "    <AudioBitrateList value=\"" + audio + "\"/>\n";
  test::WriteFile(path, text + "</Profile>\n");
  return path;
}

SourceItem ItemLasting(const std::string& exactDuration, const std::string& profile) {
  SourceItem item;
  item.profilePath = profile;
  item.videoBitrateBps = static_cast<int32_t>(ReadSelectedBitrate(profile, "VideoBitrateList")) * 1024;
  MediaInfo facts;
  facts.video.duration = exactDuration.substr(0, 8);
  facts.video.exactDuration = exactDuration;
  ApplyProbedFacts(facts, &item);
  return item;
}

// Picture and sound, over the exact length converted: the figure the
// free-space check reads.
TEST(TaskBuilder, EstimateCountsTheSoundAndTheFractionOfASecond) {
  std::string both = BitrateProfile("500,1200\" index=\"1", "64,128\" index=\"1");
  std::string mp3 = std::string(MIVORA_SOURCE_PROFILES) + "/Audio/MP3 - MPEG Layer-3 Audio.xml";
  std::string soundOff = BitrateProfile("1200\" index=\"0", "128\" index=\"0", true);
  const struct {
    std::string duration;
    std::string profile;
    const char* size;
  } rows[] = {
      {"00:00:10.50", both, "1.70 MB"},    // (1200 + 128) kbit/s over 10.5 s; was 1.46 MB
      {"00:06:00.00", mp3, "5.62 MB"},     // 128 kbit/s of sound only; was 0 Bytes
      {"00:00:00.40", both, "66.40 KB"},   // under a second; was 0 Bytes
      {"00:00:10.50", soundOff, "168.00 KB"},  // a profile without picture counts its sound only
      {"", both, "0 Bytes"},               // nothing probed
  };
  for (const auto& row : rows)
    EXPECT_EQ(ItemLasting(row.duration, row.profile).estimatedSize, row.size) << row.duration;
}

TEST(TaskBuilder, EstimateOfARealTenAndAHalfSecondClip) {
  std::string clip = test::MakeTempDir("clips") + "/ten and a half.avi";
  test::GenerateClip(clip, {.seconds = 10.5, .width = 64, .height = 48, .frameRate = 10, .audio = false});
  SourceItem item;
  std::string error;
  ASSERT_TRUE(BuildSourceItem(clip, {BitrateProfile("1200\" index=\"0", "128\" index=\"0"), 1}, &item, &error))
      << error;
  EXPECT_EQ(item.mediaInfo.video.exactDuration, "00:00:10.50");
  EXPECT_EQ(item.estimatedSize, "1.70 MB");
}

TEST(TaskBuilder, EstimateFollowsTheProfileTheBitRateAndTheTrim) {
  std::string mp3 = std::string(MIVORA_SOURCE_PROFILES) + "/Audio/MP3 - MPEG Layer-3 Audio.xml";
  SourceList list;
  ASSERT_TRUE(list.Append(ItemLasting("00:00:10.50", mp3)));
  EXPECT_EQ(list.At(0)->estimatedSize, "168.00 KB");
  // Another profile, then another bit rate of it: the row follows each.
  std::string video = BitrateProfile("500,1200\" index=\"1", "64,128\" index=\"1");
  ApplyProfileToRows(list, {0}, video, 2, true);
  EXPECT_EQ(list.At(0)->estimatedSize, "1.70 MB");
  test::WriteFile(video, test::ReadFile(BitrateProfile("500,1200\" index=\"0", "64,128\" index=\"0")));
  ApplyProfileToRows(list, {0}, video, 2, false);
  EXPECT_EQ(list.At(0)->estimatedSize, "740.25 KB");  // (500 + 64) kbit/s
  // A trim in whole seconds; one that runs to the end keeps the last half second.
  auto trim = [&](int start, int end) {
    list.Update(0, [&](SourceItem& item) {
      item.editSettings = std::make_unique<EditSettings>();
      item.editSettings->trimEnabled = 1;
      item.editSettings->trimStart = start;
      item.editSettings->trimEnd = end;
      RefreshEstimatedSize(&item);
    });
    return list.At(0)->estimatedSize;
  };
  EXPECT_EQ(trim(2, 5), "211.50 KB");
  EXPECT_EQ(trim(2, 10), "599.25 KB");
  // The job a run builds carries the item's estimate as it is then.
  JobListResult jobs = BuildJobList(list, test::MakeTempDir("out"));
  ASSERT_TRUE(jobs.ok) << jobs.error;
  EXPECT_EQ(jobs.jobs.at(0).estimatedSize, "599.25 KB");
}

TEST(TaskBuilder, AddingFollowsTheRoute) {
  std::string dir = test::MakeTempDir("add");
  std::string text = dir + "/notes.txt";
  test::WriteFile(text, "not a video");
  SourceList list;
  AddFilesResult dialog = AddFiles(list, {Clip(), text, dir, Clip(), dir + "/missing.avi"},
                                   {kAviProfile, 1}, AddRoute::kDialog);
  EXPECT_EQ(dialog.added, std::vector<std::string>{Clip()});
  EXPECT_EQ(dialog.skipped, (std::vector<std::string>{text, dir, Clip(), dir + "/missing.avi"}));
  EXPECT_EQ(dialog.skipReasons, (std::vector<std::string>{"not a video file extension", "a folder",
                                                          "already in the list", "no such file"}));
  EXPECT_EQ(dialog.engineError, "");
  // Dropping takes any readable file, but never a folder or a second copy.
  std::string locked = dir + "/locked.avi";
  test::WriteFile(locked, "x");
  chmod(locked.c_str(), 0);
  AddFilesResult drop = AddFiles(list, {text, dir, Clip(), locked}, {kAviProfile, 1}, AddRoute::kDrop);
  EXPECT_EQ(drop.added.front(), text);
  EXPECT_EQ(drop.skipReasons[0], "a folder");
  EXPECT_EQ(drop.skipReasons[1], "already in the list");
  if (geteuid() != 0) {
    EXPECT_EQ(drop.skipReasons.at(2), "not readable");
  } else {
    list.Remove(list.Count() - 1);  // the superuser reads every file
  }
  ASSERT_EQ(list.Count(), 2u);
  // A file the engine cannot read is still listed, with empty facts.
  std::optional<SourceItem> notes = list.At(1);
  EXPECT_EQ(notes->mediaInfo.video.duration, "");
  EXPECT_EQ(notes->durationSeconds, 0);
  EXPECT_EQ(notes->estimatedSize, "0 Bytes");
  EXPECT_EQ(notes->InfoText(), "");
}

TEST(TaskBuilder, OutputsAreUniqueWithinTheBatchOnly) {
  std::string out = test::MakeTempDir("out");
  test::WriteFile(out + "/a (2).avi", "there before the batch");  // the runner asks about it
  SourceList list;
  for (const char* source : {"/v/a.avi", "/w/a.mkv", "/v/a.mov", "/v/a (2).avi", "/v/b.avi", "/v/a"}) {
    SourceItem item;
    item.sourcePath = source;
    item.profilePath = kAviProfile;
    ASSERT_TRUE(list.Append(item));
  }
  JobListResult jobs = BuildJobList(list, out);
  ASSERT_TRUE(jobs.ok) << jobs.error;
  std::vector<std::string> outputs;
  for (const ConversionJob& job : jobs.jobs) outputs.push_back(job.outputPath.substr(out.size() + 1));
  EXPECT_EQ(outputs, (std::vector<std::string>{"a.avi", "a (2).avi", "a (3).avi", "a (2) (2).avi",
                                               "b.avi", "a (4).avi"}));
}

TEST(TaskBuilder, AnUnreadableProfileStopsAdding) {
  std::string profile = ProfileCopy();
  std::filesystem::remove(profile);
  std::string second = test::MakeTempDir("clips") + "/second.avi";
  test::GenerateClip(second, {.seconds = 1, .width = 64, .height = 48});
  SourceList list;
  AddFilesResult result = AddFiles(list, {Clip(), second}, {profile, 1}, AddRoute::kDialog);
  EXPECT_TRUE(result.profileFailed);
  EXPECT_TRUE(result.added.empty());
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_NE(result.error.find(profile), std::string::npos);
}

TEST(TaskBuilder, JobsCarryFinishedArgumentsAndTrimmedDurations) {
  std::string profilePath = ProfileCopy();
  SourceList list;
  AddFiles(list, {Clip()}, {profilePath, 1}, AddRoute::kDialog);
  std::string png = test::MakeTempDir("pic") + "/logo.png";
  test::WriteFile(png, "x");
  list.Update(0, [&](SourceItem& item) {
    item.editSettings = std::make_unique<EditSettings>();
    item.editSettings->trimEnabled = 1;
    item.editSettings->trimStart = 1;
    item.editSettings->trimEnd = 2;
    item.editSettings->cropEnabled = 1;
    item.editSettings->cropRight = 100;
    item.editSettings->cropBottom = 80;
    item.editSettings->pictureEnabled = 1;
    item.editSettings->picturePath = png;
  });
  std::filesystem::remove(png);  // the picture vanished after editing

  JobListResult jobs = BuildJobList(list, "/out");
  ASSERT_TRUE(jobs.ok) << jobs.error;
  ASSERT_EQ(jobs.jobs.size(), 1u);
  const ConversionJob& job = jobs.jobs[0];
  Profile profile;
  profile.Load(profilePath);
  EXPECT_EQ(job.outputPath, "/out/clip one." + profile.formatExt);
  EXPECT_EQ(job.durationSeconds, 1);
  std::string edits = "-vf \"crop=100:80:0:0\" -ss 1.000 -t 1.000 ";
  EXPECT_EQ(job.engineArgs,
            FinishEngineArguments(profile.BuildEngineArguments() + " " + edits, profile.videoAspectRatio));
  EXPECT_EQ(list.At(0)->editSettings->pictureEnabled, 0);  // switched off in the item itself

  std::filesystem::remove(profilePath);
  JobListResult none = BuildJobList(list, "/out");
  EXPECT_FALSE(none.ok);
  EXPECT_TRUE(none.jobs.empty());
}

// The disc group's jobs tell the engine that their frame is fixed (the
// argument text itself stays the profile's); other jobs do not.
TEST(TaskBuilder, DiscGroupJobsKeepTheirFrame) {
  struct Row {
    const char* profile;
    bool fixed;
  } rows[] = {
      {"/DVD VCD SVCD/DVD MPEG-2 PAL.xml", true},
      {"/DVD VCD SVCD/DVD Video NTSC.xml", true},
      {"/General Video/MPG - MPEG-2 Video.xml", false},
      {"/General Video/DV - Digital Video (PAL).xml", true},
      {"/Phones/Smartphone 800x480 (MP4).xml", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.profile);
    SourceList list;
    AddFiles(list, {Clip()}, {std::string(MIVORA_SOURCE_PROFILES) + row.profile, 1}, AddRoute::kDialog);
    JobListResult jobs = BuildJobList(list, "/out");
    ASSERT_TRUE(jobs.ok) << jobs.error;
    const ConversionJob& job = jobs.jobs[0];
    EXPECT_EQ(job.fixedFrame, row.fixed);
    // The probe's facts of the source go first, so that the engine need not read it again.
    ASSERT_FALSE(job.sourceFacts.empty());
    EXPECT_EQ(job.sourceFacts, list.At(0)->mediaInfo.engineFacts);
    EXPECT_EQ(job.EngineRunArguments(),
              "-sourcefacts " + job.sourceFacts + " " + (row.fixed ? "-fixedframe " : "") + job.engineArgs);
    EXPECT_EQ(job.engineArgs.find("-fixedframe"), std::string::npos);
  }
}

TEST(TaskBuilder, ArgumentTextsAreNeverCut) {
  SourceList list;
  AddFiles(list, {Clip()}, {kAviProfile, 1}, AddRoute::kDialog);
  list.Update(0, [](SourceItem& item) {
    item.editSettings = std::make_unique<EditSettings>();
    item.editSettings->textEnabled = 1;
    item.editSettings->watermarkText = std::string(3000, 'w');
    item.editSettings->fontFile = "/f.ttf";
  });
  JobListResult jobs = BuildJobList(list, "/out");
  ASSERT_TRUE(jobs.ok);
  EXPECT_GT(jobs.jobs[0].engineArgs.size(), 3000u);
  EXPECT_NE(jobs.jobs[0].engineArgs.find(std::string(3000, 'w') + "'"), std::string::npos);
}

TEST(TaskBuilder, ApplyingAProfileChangesOnlyTheChosenRows) {
  SourceList list;
  std::string other = test::MakeTempDir("clips") + "/other.avi";
  test::GenerateClip(other, {.seconds = 1, .width = 64, .height = 48});
  AddFiles(list, {Clip(), other}, {kAviProfile, 1}, AddRoute::kDialog);
  std::string mp4 = std::string(MIVORA_SOURCE_PROFILES) + "/General Video/MP4 - MPEG-4 Video.xml";
  ApplyProfileToRows(list, {1}, mp4, 42, false);
  Profile profile;
  profile.Load(mp4);
  EXPECT_EQ(list.At(1)->profilePath, mp4);
  EXPECT_EQ(list.At(1)->profileId, 42);
  EXPECT_EQ(list.At(1)->engineArgs, profile.BuildEngineArguments());
  EXPECT_NE(list.At(1)->targetExtension, profile.formatExt == "avi" ? "x" : profile.formatExt);
  ApplyProfileToRows(list, {1}, mp4, 42, true);
  EXPECT_EQ(list.At(1)->targetExtension, profile.formatExt);
  EXPECT_EQ(list.At(0)->profilePath, kAviProfile);  // not chosen: unchanged

  std::string broken = test::MakeTempDir("profile") + "/broken.xml";
  test::WriteFile(broken, "<Profile><unterminated");
  ApplyProfileToRows(list, {0}, broken, 9, true);
  EXPECT_EQ(list.At(0)->profilePath, kAviProfile);
}

}  // namespace
}  // namespace mivora
