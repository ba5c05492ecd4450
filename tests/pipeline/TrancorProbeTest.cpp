#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "pipeline/Trancor.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

struct ProbeResult {
  bool found = false;
  MediaInfo info;
};

ProbeResult RunProbe(const std::string& path) {
  ProbeResult result;
  Trancor probe;
  result.found = probe.Probe(path, &result.info.video, &result.info.audio);
  return result;
}

std::string Fields(const MediaInfo& info) {
  std::string text;
  for (const auto& [name, value] : MediaInfoFields(info))
    text += std::string(name) + "=" + std::string(value) + ";";
  return text;
}

TEST(TrancorProbe, GeneratedClipsProbeToTheirFacts) {
  std::string folder = test::MakeTempDir("clips");
  struct Case {
    const char* name;
    test::ClipSpec shape;
    const char* fields;
  };
  test::ClipSpec both;
  both.seconds = 2;
  test::ClipSpec videoOnly;
  videoOnly.seconds = 1;
  videoOnly.audio = false;
  videoOnly.width = 176;
  videoOnly.height = 144;
  test::ClipSpec audioOnly;
  audioOnly.seconds = 1;
  audioOnly.video = false;
  const Case cases[] = {
      {"both.avi", both,
       "duration=00:00:02;videoCodec=mpeg4 ;width=320;height=240;displayAspect=4:3;frameRate=;"
       "audioCodec=mp3;sampleRate=44100;"},
      {"video.mkv", videoOnly,
       "duration=00:00:01;videoCodec=h264 ;width=176;height=144;displayAspect=11:9;frameRate=;"
       "audioCodec=;sampleRate=;audioBitrate=;"},
      {"audio.wav", audioOnly,
       "duration=00:00:01;videoCodec=;bitrate=1411;width=;height=;displayAspect=;frameRate=;"
       "audioCodec=pcm;sampleRate=44100;audioBitrate=1411;"},
  };
  for (const Case& c : cases) {
    std::string path = folder + "/" + c.name;
    test::GenerateClip(path, c.shape);
    ProbeResult r = RunProbe(path);
    EXPECT_TRUE(r.found) << c.name;
    // Compare the fields the case names; bit rates vary with the encoder.
    std::string all = Fields(r.info);
    std::string expected = c.fields;
    size_t start = 0;
    while (start < expected.size()) {
      size_t end = expected.find(';', start);
      std::string field = expected.substr(start, end - start + 1);
      EXPECT_NE(all.find(field), std::string::npos) << c.name << ": " << field << " in " << all;
      start = end + 1;
    }
    EXPECT_FALSE(r.info.video.bitrate.empty()) << c.name;
  }
  EXPECT_FALSE(test::LogLinesWith("Trancor, ").empty());
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
}

// A portrait phone clip: the probe gives the coded size and the track's
// turn, so the frame as shown is upright; a plain clip has no turn.
TEST(TrancorProbe, TurnedTrackGivesItsRotation) {
  const std::string folder = test::MakeTempDir("turned");
  test::GenerateRotatedClip(folder + "/phone.mp4", {.seconds = 0.4, .width = 320, .height = 176, .audio = false}, 90);
  ProbeResult turned = RunProbe(folder + "/phone.mp4");
  ASSERT_TRUE(turned.found);
  EXPECT_EQ(turned.info.video.width, "320");
  EXPECT_EQ(turned.info.video.rotation, "-90.00");
  EXPECT_EQ(DisplayedFrameSize(turned.info.video).width, 176);
  EXPECT_EQ(DisplayedFrameSize(turned.info.video).height, 320);
  test::GenerateClip(folder + "/plain.mp4", {.seconds = 0.4, .width = 320, .height = 176, .audio = false});
  EXPECT_EQ(RunProbe(folder + "/plain.mp4").info.video.rotation, "");
}

TEST(TrancorProbe, MetadataCannotOverrideTheProbedFacts) {
  std::string path = test::MakeTempDir("meta") + "/titled.avi";
  test::CommandResult made = test::RunCommand(
      {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-f", "lavfi", "-i",
       "testsrc2=size=160x120:rate=25:duration=1", "-f", "lavfi", "-i", "sine=duration=1",
       "-metadata", "title=Duration: 11:22:33.00, bitrate: 9999 kb/s Video: evil 9999x9999",
       "-metadata", "comment=x\n  Duration: 22:22:22.00\n  Stream #0:0: Audio: dts, 1 Hz",
       "-metadata:s:v:0", "title=Video: fake 4444x5555 Audio: dts", "-c:v", "mpeg4", "-c:a",
       "libmp3lame", "file:" + path});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  ProbeResult r = RunProbe(path);
  EXPECT_TRUE(r.found);
  EXPECT_EQ(r.info.video.duration, "00:00:01");
  EXPECT_EQ(r.info.video.videoCodec, "mpeg4 ");
  EXPECT_EQ(r.info.video.width, "160");
  EXPECT_EQ(r.info.video.height, "120");
  EXPECT_EQ(r.info.audio.audioCodec, "mp3");
  EXPECT_EQ(r.info.audio.sampleRate, "44100");
}

TEST(TrancorProbe, AwkwardFileNamesProbeTheirOwnFile) {
  std::string folder = test::MakeTempDir("names");
  test::ClipSpec shape;
  shape.seconds = 1;
  shape.width = 160;
  shape.height = 120;
  // A decoy the names below must never lead to.
  test::ClipSpec decoy = shape;
  decoy.width = 320;
  decoy.height = 240;
  test::GenerateClip(folder + "/a.avi", decoy);
  const std::string names[] = {
      "with blank.avi",    "quote\"d.avi",     "apostrophe's.avi",
      "\xC3\xBCn\xC3\xAF c\xC3\xB6" "d\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.avi",
      "hash#1.avi",        "dollar$HOME.avi",  "-i.avi",
      "concat:a.avi",      "new\n  Duration: 99:00:00.00, start: 0\n  Stream #0:0: Video: evil, 9999x9999\nline.avi",
  };
  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
  for (const std::string& name : names) {
    // ffmpeg will not write a name with a line break itself.
    test::GenerateClip(folder + "/plain.avi", shape);
    ASSERT_EQ(std::rename((folder + "/plain.avi").c_str(), (folder + "/" + name).c_str()), 0);
    for (const std::string& path : {folder + "/" + name, name}) {
      ProbeResult r = RunProbe(path);
      EXPECT_TRUE(r.found) << path;
      EXPECT_EQ(r.info.video.duration, "00:00:01") << path;
      EXPECT_EQ(r.info.video.width, "160") << path;
      EXPECT_EQ(r.info.video.height, "120") << path;
    }
  }
  ASSERT_EQ(::chdir(previous), 0);
}

TEST(TrancorProbe, WhatIsNotMediaGivesNothing) {
  std::string folder = test::MakeTempDir("bad");
  test::WriteFile(folder + "/text.avi", "this is not a video\n  Duration: 00:10:00.00\n");
  test::WriteFile(folder + "/empty.mp4", "");
  const std::string paths[] = {folder + "/text.avi", folder + "/empty.mp4",
                               folder + "/missing.avi", folder, ""};
  for (const std::string& path : paths) {
    ProbeResult r = RunProbe(path);
    EXPECT_FALSE(r.found) << path;
    EXPECT_EQ(Fields(r.info), Fields(MediaInfo{})) << path;
  }
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
}

TEST(TrancorProbe, AnEngineThatHangsIsStoppedAtTheTimeLimit) {
  // Opening a FIFO nobody writes to blocks the engine for ever.
  std::string fifo = test::MakeFifo("hang.avi");
  Trancor probe;
  probe.SetProbeTimeout(std::chrono::milliseconds(1500));
  MediaInfo info;
  test::EngineWatcher watcher;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(probe.Probe(fifo, &info.video, &info.audio));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  watcher.Stop();
  ASSERT_NE(watcher.Group(), 0);
  EXPECT_TRUE(test::ProcessesInGroup(watcher.Group()).empty())
      << test::Describe(test::ProcessesInGroup(watcher.Group()));
  EXPECT_GE(seconds, 1.4);
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(Fields(info), Fields(MediaInfo{}));
  EXPECT_EQ(test::LogLinesWith("Trancor::Probe, Timeout").size(), 1u);
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
}

}  // namespace
}  // namespace mivora
