#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Folders.h"
#include "common/Format.h"
#include "pipeline/TaskBuilder.h"
#include "profiles/EngineArguments.h"
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
  EXPECT_EQ(item.estimatedSize, FormatByteSize(BitrateToBytes(kbps * 1024, 3)));
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
