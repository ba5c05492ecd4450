// The in-process probe against the engine's probe: for every kind of source
// the tests make (containers, codecs, audio only, deep colour, odd sizes,
// broken files, awkward names) both give the same ten fields, and the lines
// the parser reads are the same bytes. Then its limits, its fall-back to the
// engine, and its log capture with several probes at once.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/InProcessProbe.h"
#include "pipeline/MediaProbe.h"
#include "pipeline/OutputFiles.h"
#include "pipeline/Trancor.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

struct Source {
  std::string name;
  std::vector<std::string> ffmpegArgs;  // inputs and output options; the output path is added
};

std::vector<std::string> Video(const std::string& size, double seconds = 1, const std::string& rate = "25") {
  return {"-f", "lavfi", "-i",
          "testsrc2=size=" + size + ":rate=" + rate + ":duration=" + std::to_string(seconds)};
}
std::vector<std::string> Audio(double seconds = 1) {
  return {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=" + std::to_string(seconds)};
}
std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

void Make(const std::string& path, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("file:" + path);
  test::CommandResult made = test::RunCommand(argv);
  ASSERT_EQ(made.exitCode, 0) << path << ":\n" << made.output;
}

// The sources the tests generate (TestMedia's clips as the suites shape
// them) and more containers and codecs a user brings.
std::vector<Source> GeneratedSources() {
  const auto av = Join({Video("320x240"), Audio()});
  return {
      {"h264 aac.mp4", Join({Video("320x240", 2), Audio(2), {"-pix_fmt", "yuv420p", "-ac", "2"}})},
      {"mpeg4 mp3.avi", Join({Video("160x120"), Audio(), {"-pix_fmt", "yuv420p", "-ac", "2"}})},
      {"h264 vorbis.mkv", Join({Video("160x120"), Audio(), {"-pix_fmt", "yuv420p"}})},
      {"h264 aac.mov", av},
      {"flv1.flv", av},
      {"wmv2.wmv", av},
      {"mpeg1.mpg", av},
      {"mpeg2.ts", av},
      {"mpeg2.vob", Join({av, {"-pix_fmt", "yuv420p"}})},
      {"mpeg4 raw.m4v", Video("320x240")},
      {"vp9 opus.webm", Join({Video("160x120"), Audio(), {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8"}})},
      {"h263.3gp", Join({Video("176x144"), Audio(), {"-c:v", "h263", "-c:a", "aac"}})},
      {"rv10.rm", Join({av, {"-c:v", "rv10", "-c:a", "ac3"}})},
      {"mjpeg pcm.avi", Join({av, {"-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-c:a", "pcm_s16le"}})},
      {"ntsc.dv", Join({Video("720x480", 1, "30000/1001"), {"-target", "ntsc-dv", "-pix_fmt", "yuv411p"}})},
      {"deep 422 10-bit.mkv", Join({Video("320x240"), Audio(), {"-pix_fmt", "yuv422p10le", "-ac", "2"}})},
      {"deep 420 10-bit.mp4", Join({Video("320x240"), {"-pix_fmt", "yuv420p10le"}})},
      {"full chroma 444.mkv", Join({Video("320x240"), Audio(), {"-pix_fmt", "yuv444p"}})},
      {"prores 10-bit.mov", Join({av, {"-c:v", "prores_ks", "-pix_fmt", "yuv422p10le", "-c:a", "pcm_s16le"}})},
      {"hevc 10-bit.mkv", Join({Video("128x96"), {"-c:v", "libx265", "-preset", "ultrafast", "-pix_fmt", "yuv420p10le",
                                                  "-x265-params", "log-level=none"}})},
      {"odd size ffv1.mkv", Join({Video("175x143"), Audio(), {"-c:v", "ffv1", "-pix_fmt", "yuv420p"}})},
      {"tiny.avi", Join({Video("64x48", 0.2), Audio(0.2)})},
      {"minute 5 fps.avi", Join({Video("64x48", 60, "5")})},
      {"large.mp4", Join({Video("1920x1080", 0.4), {"-preset", "ultrafast", "-pix_fmt", "yuv420p"}})},
      {"two audio streams.mkv", Join({av, {"-map", "0", "-map", "1", "-map", "1", "-c:a:0", "aac", "-c:a:1", "ac3"}})},
      {"titled.avi", Join({Video("160x120"), Audio(),
                           {"-metadata", "title=Duration: 11:22:33.00, bitrate: 9999 kb/s Video: evil 9999x9999",
                            "-metadata", "comment=x\n  Duration: 22:22:22.00\n  Stream #0:0: Audio: dts, 1 Hz",
                            "-metadata:s:v:0", "title=Video: fake 4444x5555 Audio: dts"}})},
      {"tone.wav", Audio()},
      {"stereo without layout.wav", Join({Audio(), {"-ac", "2"}})},
      {"six channels.wav", Join({Audio(), {"-ac", "6"}})},
      {"tone.mp3", Audio()},
      {"tone.m4a", Audio()},
      {"tone.ogg", Audio()},
      {"tone.flac", Audio()},
  };
}

// The lines the parser reads: the duration line, the stream lines and the
// display matrices (a stream's rotation).
std::string ParsedLines(const std::string& text) {
  std::string lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("  Duration: ", 0) == 0 || line.rfind("  Stream #", 0) == 0 || line.rfind("    Stream #", 0) == 0 ||
        line.find("displaymatrix: rotation") != std::string::npos)
      lines += line + "\n";
  }
  return lines;
}

void ExpectSameFacts(const std::string& path, const std::string& what) {
  SCOPED_TRACE(what);
  MediaInfo byEngine;
  Trancor engine;
  bool engineFound = engine.Probe(path, &byEngine.video, &byEngine.audio);
  MediaInfo inProcess;
  ProbeOutcome outcome = ProbeMedia(path, &inProcess);
  EXPECT_FALSE(outcome.byEngine);
  EXPECT_EQ(outcome.found, engineFound);
  auto engineFields = MediaInfoFields(byEngine);
  auto ownFields = MediaInfoFields(inProcess);
  for (size_t i = 0; i < engineFields.size(); ++i)
    EXPECT_EQ(ownFields[i].second, engineFields[i].second) << engineFields[i].first;

  std::string description;
  DescribeSourceInProcess(path, {}, &description);
  EXPECT_EQ(ParsedLines(description), ParsedLines(engine.CollectedOutput()));
}

TEST(InProcessProbe, AgreesWithTheEngineOnEveryGeneratedSource) {
  const std::string folder = test::MakeTempDir("sources");
  for (const Source& source : GeneratedSources()) {
    const std::string path = folder + "/" + source.name;
    Make(path, source.ffmpegArgs);
    ExpectSameFacts(path, source.name);
  }
  // A phone's upright clip: the same picture with a display matrix.
  const std::string rotated = folder + "/rotated.mp4";
  Make(rotated, {"-i", "file:" + folder + "/h264 aac.mp4", "-c", "copy", "-metadata:s:v:0", "rotate=90"});
  std::string description;
  DescribeSourceInProcess(rotated, {}, &description);
  EXPECT_NE(description.find("displaymatrix: rotation of"), std::string::npos) << description;
  ExpectSameFacts(rotated, "rotated.mp4");
}

TEST(InProcessProbe, AgreesWithTheEngineOnBrokenFilesAndAwkwardNames) {
  const std::string folder = test::MakeTempDir("odd");
  const std::string clip = folder + "/clip.mp4";
  Make(clip, Join({Video("160x120"), Audio()}));
  const std::string whole = test::ReadFile(clip);
  test::WriteFile(folder + "/cut.mp4", whole.substr(0, whole.size() / 2));  // as a full disk leaves it
  test::WriteFile(folder + "/head only.mp4", whole.substr(0, 2000));
  test::WriteFile(folder + "/text.avi", "this is not a video\n  Duration: 00:10:00.00\n");
  test::WriteFile(folder + "/empty.mp4", "");
  for (const char* name : {"cut.mp4", "head only.mp4", "text.avi", "empty.mp4", "missing.avi"})
    ExpectSameFacts(folder + "/" + name, name);
  ExpectSameFacts(folder, "a folder");

  char previous[4096];
  ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(::chdir(folder.c_str()), 0);
  for (const std::string name : {"concat:clip.mp4", "-i.mp4", "quote\"d 'n' $HOME.mp4",
                                 "new\n  Duration: 99:00:00.00, start: 0\n  Stream #0:0: Video: evil, 9999x9999\nline.mp4"}) {
    std::filesystem::copy_file(clip, name);
    ExpectSameFacts(name, name);
    ExpectSameFacts(folder + "/" + name, name);
  }
  ASSERT_EQ(::chdir(previous), 0);
}

// The probe and the read-back of outputs share one load of the libraries
// and one log route: a probe keeps its own messages, and the libraries'
// messages outside a probe (the read-back's, another thread's) never reach
// the terminal.
TEST(InProcessProbe, ProbeAndReadBackShareOneQuietLog) {
  const std::string folder = test::MakeTempDir("log");
  const std::string clip = folder + "/clip.mp4";
  Make(clip, Video("160x120"));
  const std::string broken = folder + "/head.mp4";
  test::WriteFile(broken, test::ReadFile(clip).substr(0, 2000));
  testing::internal::CaptureStderr();
  std::string why, text, otherThread;
  EXPECT_FALSE(IsReadableMedia(broken, &why));
  EXPECT_EQ(DescribeSourceInProcess(broken, {}, &text), DescribeOutcome::kNotMedia);
  std::thread([&] { EXPECT_FALSE(IsReadableMedia(broken, &otherThread)); }).join();
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed.find("moov"), std::string::npos) << printed;
  EXPECT_NE(text.find("moov atom not found"), std::string::npos) << text;
  EXPECT_TRUE(IsReadableMedia(clip, &why)) << why;
}

TEST(InProcessProbe, LimitsAndCancellingStopAProbe) {
  const std::string clip = test::MakeTempDir("limits") + "/clip.mkv";
  Make(clip, Join({Video("320x240", 2), Audio(2)}));
  std::string text;
  ProbeLimits generous;
  ASSERT_EQ(DescribeSourceInProcess(clip, generous, &text), DescribeOutcome::kDescribed);

  ProbeLimits noTime;
  noTime.time = std::chrono::milliseconds(0);
  EXPECT_EQ(DescribeSourceInProcess(clip, noTime, &text), DescribeOutcome::kStopped);
  ProbeLimits fewBytes;
  fewBytes.bytes = 1000;
  EXPECT_EQ(DescribeSourceInProcess(clip, fewBytes, &text), DescribeOutcome::kStopped);
  std::atomic<bool> cancelled{true};
  ProbeLimits cancel;
  cancel.cancel = &cancelled;
  EXPECT_EQ(DescribeSourceInProcess(clip, cancel, &text), DescribeOutcome::kStopped);

  MediaInfo info;
  ProbeOutcome stopped = ProbeMedia(clip, &info, fewBytes);
  EXPECT_TRUE(stopped.stopped);
  EXPECT_FALSE(stopped.found);
  EXPECT_FALSE(stopped.byEngine);  // a source the engine could not read any better
  EXPECT_EQ(info.video.width, "");
  EXPECT_EQ(test::LogLinesWith("stopped at its size limit").size(), 2u);
}

TEST(InProcessProbe, APipeGoesToTheEngineWithinTheTimeLimit) {
  // Opening a FIFO nobody writes to would block this process's thread for
  // ever; the engine's run can be ended.
  const std::string fifo = test::MakeFifo("hang.mp4");
  std::string text;
  EXPECT_EQ(DescribeSourceInProcess(fifo, {}, &text), DescribeOutcome::kUnavailable);
  ProbeLimits limits;
  limits.time = std::chrono::milliseconds(1500);
  MediaInfo info;
  auto start = std::chrono::steady_clock::now();
  ProbeOutcome outcome = ProbeMedia(fifo, &info, limits);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(outcome.byEngine);
  EXPECT_FALSE(outcome.found);
  EXPECT_LT(seconds, 5.0);

  // A cancel ends the engine's run too, well before its time limit.
  std::atomic<bool> cancelled{false};
  limits.time = std::chrono::milliseconds(30000);
  limits.cancel = &cancelled;
  std::thread canceller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancelled = true;
  });
  start = std::chrono::steady_clock::now();
  outcome = ProbeMedia(fifo, &info, limits);
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  canceller.join();
  EXPECT_FALSE(outcome.found);
  EXPECT_LT(seconds, 5.0);
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
}

TEST(InProcessProbe, APlaylistInAFileCannotMakeTheProbeReachTheNetwork) {
  test::LocalHttpServer server;
  server.Serve("/segment.ts", test::HttpReply::Ok("not really a segment"));
  const std::string playlist = test::MakeTempDir("playlist") + "/list.m3u8";
  test::WriteFile(playlist, "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n" + server.Url("/segment.ts") +
                                "\n#EXT-X-ENDLIST\n");
  MediaInfo info;
  ProbeOutcome outcome = ProbeMedia(playlist, &info);
  EXPECT_FALSE(outcome.byEngine);
  EXPECT_FALSE(outcome.found);
  EXPECT_TRUE(server.RequestHeads().empty()) << server.RequestHeads().front();
}

// Files named inside a source (playlist segments, concat entries, the
// pictures of an image pattern) that are pipes: opening one for reading
// would block the probe's thread beyond any limit, so none is opened.
TEST(InProcessProbe, APipeNamedInsideASourceIsNeverWaitedFor) {
  const std::string hls = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nseg.ts\n#EXT-X-ENDLIST\n";
  const std::string concat = "ffconcat version 1.0\nfile part.ts\n";
  struct Case {
    std::string source;  // the file probed
    std::string text;    // its contents ("": none, the name is a pattern)
    std::string fifo;    // the pipe it names
  };
  const std::vector<Case> cases = {
      {"list.m3u8", hls, "seg.ts"},
      {"list.mp4", hls, "seg.ts"},
      {"list.ffconcat", concat, "part.ts"},
      {"concat.mp4", concat, "part.ts"},
      {"img%03d.png", "", "img001.png"},
  };
  for (const Case& c : cases) {
    const std::string folder = test::MakeTempDir("nested");
    const std::string fifo = folder + "/" + c.fifo;
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    if (!c.text.empty()) test::WriteFile(folder + "/" + c.source, c.text);
    test::FifoRescuer rescuer({fifo}, std::chrono::seconds(5));
    std::string text;
    const auto start = std::chrono::steady_clock::now();
    const DescribeOutcome outcome = DescribeSourceInProcess(folder + "/" + c.source, {}, &text);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(rescuer.Rescued()) << c.source << ": the probe waited on the pipe";
    EXPECT_LT(seconds, 3.0) << c.source;
    EXPECT_NE(outcome, DescribeOutcome::kStopped) << c.source;
  }
}

TEST(InProcessProbe, ProbesAtOnceEachReadTheirOwnSource) {
  const std::string folder = test::MakeTempDir("parallel");
  const std::vector<std::string> sizes = {"160x120", "176x144", "320x240", "352x288"};
  for (const std::string& size : sizes) Make(folder + "/" + size + ".mp4", Join({Video(size), Audio()}));
  std::vector<std::thread> threads;
  std::vector<std::string> seen(sizes.size() * 8);
  for (size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&, t] {
      MediaInfo info;
      ProbeMedia(folder + "/" + sizes[t % sizes.size()] + ".mp4", &info);
      seen[t] = info.video.width + "x" + info.video.height;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < seen.size(); ++t) EXPECT_EQ(seen[t], sizes[t % sizes.size()]) << t;
}

}  // namespace
}  // namespace mivora
