// playrun as a real process: frames, timing, status, requests, bad input and
// its lifetime.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/PlayerSharedBlock.h"
#include "tests/player/PlayerHarness.h"
#include "tests/support/FifoRescuer.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/colour/ColourRule.h"
#include "tools/playrun/DisplayFilter.h"
#include "tools/playrun/FrameFit.h"
#include "tools/playrun/PlayrunExitCodes.h"

namespace mivora {
namespace {

using namespace std::chrono;
using test::ParseStatus;
using test::PlayerHarness;

std::string Clip(const std::string& name, const test::ClipSpec& shape) {
  static std::string folder = test::MakeTempDir("clips");
  std::string path = folder + "/" + name;
  test::GenerateClip(path, shape);
  return path;
}

double Seconds(steady_clock::duration d) { return duration<double>(d).count(); }

TEST(Playrun, HandsOverEveryFrameBitExactInOrderAndInRealTime) {
  struct Case {
    const char* name;
    test::ClipSpec shape;
  };
  const Case cases[] = {
      {"h264.mp4", {.seconds = 2.0, .width = 320, .height = 240, .frameRate = 25}},
      {"mpeg4 without sound.avi", {.seconds = 1.0, .width = 176, .height = 144, .frameRate = 15, .audio = false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string clip = Clip(c.name, c.shape);
    const std::vector<std::string> expected = test::FfmpegFrameMd5s(clip);
    ASSERT_FALSE(expected.empty());
    auto start = steady_clock::now();
    PlayerHarness player(clip);
    ASSERT_TRUE(player.Started());
    int exitCode = -1;
    std::vector<test::ReceivedFrame> frames = player.AllFrames(&exitCode);
    const double wall = Seconds(steady_clock::now() - start);
    EXPECT_EQ(exitCode, playrun::kExitPlayedToEnd);
    ASSERT_EQ(frames.size(), expected.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].width, c.shape.width);
      EXPECT_EQ(frames[i].height, c.shape.height);
      EXPECT_EQ(frames[i].md5, expected[i]) << "frame " << i;
    }
    // Real time: the frames are spread over the clip's length, not rushed.
    const double spread = Seconds(frames.back().at - frames.front().at);
    const double nominal = double(frames.size() - 1) / c.shape.frameRate;
    EXPECT_NEAR(spread, nominal, 0.25 * nominal + 0.1);
    EXPECT_LT(wall, c.shape.seconds + 3.0);

    // The status text's pieces agree with the clip and follow the frames.
    test::StatusPieces first = ParseStatus(frames.front().status);
    test::StatusPieces last = ParseStatus(frames.back().status);
    EXPECT_EQ(first.width, c.shape.width);
    EXPECT_EQ(first.height, c.shape.height);
    EXPECT_NEAR(last.duration, c.shape.seconds * 1000, 100);
    EXPECT_EQ(first.elapsed, "0:00:00");
    EXPECT_NEAR(last.position, (frames.size() - 1) * 1000.0 / c.shape.frameRate, 1);
    EXPECT_LT(first.position, last.position);
  }
}

TEST(Playrun, SeekAndPauseRequestsAct) {
  const std::string clip = Clip("seek.mp4", {.seconds = 3.0, .width = 160, .height = 120, .frameRate = 20});
  const std::vector<std::string> expected = test::FfmpegFrameMd5s(clip);
  PlayerHarness player(clip);
  ASSERT_TRUE(player.Started());
  ASSERT_TRUE(player.NextFrame());

  // Seek to the middle: the next frames come from there, exactly as decoded.
  player.Request(playerblock::kSeekOffset, 50);
  std::optional<test::ReceivedFrame> frame;
  for (int i = 0; i < 10; ++i) {
    frame = player.NextFrame();
    ASSERT_TRUE(frame);
    if (ParseStatus(frame->status).position >= 1400) break;
  }
  const long position = ParseStatus(frame->status).position;
  EXPECT_GE(position, 1450);
  EXPECT_LE(position, 1700);
  EXPECT_EQ(frame->md5, expected[position / 50]);

  // Pause: no frames, the position stands still; resume: frames again.
  player.Request(playerblock::kPauseOffset, 1);
  std::this_thread::sleep_for(milliseconds(150));
  while (player.NextFrame(0)) {
  }
  const std::string pausedStatus = player.Status();
  EXPECT_FALSE(player.NextFrame(400));
  EXPECT_EQ(player.Status(), pausedStatus);

  // A seek while paused shows the new position's frame and stays paused.
  player.Request(playerblock::kSeekOffset, 0);
  frame = player.NextFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(ParseStatus(frame->status).position, 0);
  EXPECT_EQ(frame->md5, expected[0]);
  EXPECT_FALSE(player.NextFrame(300));

  player.Request(playerblock::kPauseOffset, 1);
  frame = player.NextFrame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->md5, expected[1]);
}

TEST(Playrun, WritesNoNextFrameBeforeTheAnswerOrTheTimeout) {
  const std::string clip = Clip("answer.mp4", {.seconds = 1.0, .width = 160, .height = 120, .frameRate = 25, .audio = false});
  PlayerHarness player(clip);
  player.SetAnswering(false);
  auto first = player.NextFrame();
  ASSERT_TRUE(first);
  auto second = player.NextFrame();
  ASSERT_TRUE(second);
  // Unanswered, the player waits a second before it writes the next frame.
  EXPECT_GE(duration_cast<milliseconds>(second->at - first->at).count(), 900);
}

TEST(Playrun, FramesTooLargeForTheBlockAreScaledDownToFit) {
  const std::string clip = Clip("uhd.mp4", {.seconds = 0.4, .width = 3840, .height = 2160, .frameRate = 10, .audio = false});
  PlayerHarness player(clip);
  int exitCode = -1;
  std::vector<test::ReceivedFrame> frames = player.AllFrames(&exitCode);
  EXPECT_EQ(exitCode, playrun::kExitPlayedToEnd);
  ASSERT_EQ(frames.size(), 4u);
  const playrun::FrameSize fitted = playrun::FitFrameSize(3840, 2160);
  for (const auto& frame : frames) {
    EXPECT_EQ(frame.width, fitted.width);
    EXPECT_EQ(frame.height, fitted.height);
    EXPECT_LE(playerblock::FrameBytes(frame.width, frame.height), playerblock::kFrameCapacity);
    EXPECT_GT(frame.meanLuma, 30);  // a picture, not an empty block
    // The status keeps the video's own size.
    EXPECT_EQ(ParseStatus(frame.status).width, 3840);
  }
}

// The player shows the video track the conversion uses: of a motion photo
// its video, not the larger still beside it; of two moving tracks both
// marked default, the first, not the larger one.
TEST(Playrun, PlaysTheVideoTrackTheConversionUses) {
  const std::string folder = test::MakeTempDir("tracks");
  const std::string stillFirst = folder + "/still first.mp4", stillLast = folder + "/still last.mp4";
  test::GenerateMotionPhotoLikeClip(stillFirst, true);
  test::GenerateMotionPhotoLikeClip(stillLast, false);
  const std::string twoVideos = folder + "/two videos.mp4";
  test::CommandResult made = test::RunCommand(
      {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=10:duration=1",
       "-f", "lavfi", "-i", "testsrc2=size=640x480:rate=10:duration=1", "-map", "0", "-map", "1", "-c:v", "libx264",
       "-pix_fmt", "yuv420p", "-disposition:v:0", "default", "-disposition:v:1", "default", "file:" + twoVideos});
  ASSERT_EQ(made.exitCode, 0) << made.output;
  for (const std::string& clip : {stillFirst, stillLast, twoVideos}) {
    SCOPED_TRACE(clip);
    PlayerHarness player(clip);
    int exitCode = -1;
    std::vector<test::ReceivedFrame> frames = player.AllFrames(&exitCode);
    EXPECT_EQ(exitCode, playrun::kExitPlayedToEnd);
    ASSERT_GE(frames.size(), 10u);
    EXPECT_EQ(frames.front().width, 320);
    EXPECT_EQ(frames.front().height, 240);
  }
}

// A phone clip whose track says "turn 90 degrees" (and the other turns, and
// turns with a mirror, as front cameras write) goes over upright, exactly as
// ffmpeg turns and mirrors it for its output; the status gives the size as
// shown.
TEST(Playrun, RotatedSourcesGoOverTurnedAsTheEngineTurnsThem) {
  struct Case {
    int degrees;
    int width, height;
    bool mirrored = false;
  };
  for (Case c : {Case{90, 1280, 720}, Case{180, 320, 240}, Case{270, 320, 240}, Case{90, 320, 240, true},
                 Case{0, 320, 240, true}, Case{180, 320, 240, true}, Case{270, 320, 240, true}}) {
    SCOPED_TRACE(std::to_string(c.degrees) + (c.mirrored ? " mirrored" : ""));
    static std::string folder = test::MakeTempDir("turned");
    const std::string clip =
        folder + "/turned" + std::to_string(c.degrees) + (c.mirrored ? "-mirrored" : "") + ".mp4";
    const test::ClipSpec shape{.seconds = 0.4, .width = c.width, .height = c.height, .frameRate = 10};
    if (c.mirrored)
      test::GenerateMirroredClip(clip, shape, c.degrees);
    else
      test::GenerateRotatedClip(clip, shape, c.degrees);
    const bool quarter = c.degrees % 180 != 0;
    const int shownWidth = quarter ? c.height : c.width, shownHeight = quarter ? c.width : c.height;
    const std::vector<std::string> expected = test::FfmpegFrameMd5s(clip);  // ffmpeg turns by itself
    PlayerHarness player(clip);
    int exitCode = -1;
    std::vector<test::ReceivedFrame> frames = player.AllFrames(&exitCode);
    EXPECT_EQ(exitCode, playrun::kExitPlayedToEnd);
    ASSERT_EQ(frames.size(), expected.size());
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].width, shownWidth);
      EXPECT_EQ(frames[i].height, shownHeight);
      EXPECT_EQ(frames[i].md5, expected[i]) << "frame " << i;
    }
    EXPECT_EQ(ParseStatus(frames.back().status).width, shownWidth);
    EXPECT_EQ(ParseStatus(frames.back().status).height, shownHeight);
    EXPECT_EQ(frames.back().shapeWidth, shownWidth);
    EXPECT_EQ(frames.back().shapeHeight, shownHeight);
  }
}

// Each frame says how its codes become colours: TV range by its matrix tag
// (untagged: BT.601 below 720 lines, BT.709 from 720), full range as it is;
// and the picture's shape with its sample aspect.
TEST(Playrun, TellsEachFramesColourAndThePicturesShape) {
  struct Case {
    const char* name;
    const char* size;
    std::vector<std::string> make;  // ffmpeg arguments after the input
    int colour, shapeWidth, shapeHeight;
  };
  const Case cases[] = {
      {"untagged 320x240", "320x240", {}, playerblock::kTvBt601, 320, 240},
      {"untagged 1280x720", "1280x720", {}, playerblock::kTvBt709, 1280, 720},
      {"BT.709 320x240", "320x240", {"-colorspace", "bt709"}, playerblock::kTvBt709, 320, 240},
      {"BT.601 1280x720", "1280x720", {"-colorspace", "smpte170m"}, playerblock::kTvBt601, 1280, 720},
      {"full range", "320x240", {"-pix_fmt", "yuvj420p"}, playerblock::kFullRange, 320, 240},
      {"anamorphic 720x576", "720x576", {"-aspect", "16:9"}, playerblock::kTvBt601, 1024, 576},
  };
  static std::string folder = test::MakeTempDir("colours");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string clip = folder + "/" + std::string(c.name) + ".mp4";
    std::vector<std::string> args = {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                                     std::string("testsrc2=rate=10:duration=0.2:size=") + c.size, "-c:v", "libx264"};
    args.insert(args.end(), c.make.begin(), c.make.end());
    args.push_back("file:" + clip);
    test::CommandResult made = test::RunCommand(args);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    PlayerHarness player(clip);
    std::optional<test::ReceivedFrame> first = player.NextFrame(5000);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->colour, c.colour);
    EXPECT_EQ(first->shapeWidth, c.shapeWidth);
    EXPECT_EQ(first->shapeHeight, c.shapeHeight);
  }
}

// "-frames 1" hands over the first frame only and ends at once: the
// window's still before anything plays (a 0.1 s clip too).
TEST(Playrun, HandsOverOnlyTheFirstFrameWhenAskedForOne) {
  for (double seconds : {2.0, 0.1}) {
    const std::string clip = Clip("still" + std::to_string(seconds) + ".mp4",
                                  {.seconds = seconds, .width = 160, .height = 120, .frameRate = 25});
    const std::vector<std::string> expected = test::FfmpegFrameMd5s(clip);
    ASSERT_FALSE(expected.empty());
    auto start = steady_clock::now();
    PlayerHarness player(clip, {"-frames", "1"});
    int exitCode = -1;
    std::vector<test::ReceivedFrame> frames = player.AllFrames(&exitCode);
    EXPECT_EQ(exitCode, playrun::kExitPlayedToEnd);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].md5, expected[0]);
    EXPECT_LT(Seconds(steady_clock::now() - start), 1.5);
  }
}

// PQ and HLG sources go over tone-mapped to SDR by the engine's own chain,
// so the pane and the file agree; the untouched codes would not match.
TEST(Playrun, HdrSourcesGoOverToneMappedAsTheEngineMapsThem) {
  for (const char* transfer : {"smpte2084", "arib-std-b67"}) {
    SCOPED_TRACE(transfer);
    static std::string folder = test::MakeTempDir("hdr");
    const std::string clip = folder + "/" + transfer + ".mp4";
    test::CommandResult made = test::RunCommand(
        {"ffmpeg", "-v", "error", "-nostdin", "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=10:duration=0.3",
         "-pix_fmt", "yuv420p10le", "-c:v", "libx265", "-x265-params", "log-level=error", "-color_primaries",
         "bt2020", "-color_trc", transfer, "-colorspace", "bt2020nc", "-y", clip});
    ASSERT_EQ(made.exitCode, 0) << made.output;
    const std::vector<uint8_t> mapped = test::FfmpegFirstFrameYuv(clip, colour::kToneMapToSdr, 320, 240);
    const std::vector<uint8_t> untouched = test::FfmpegFirstFrameYuv(clip, "", 320, 240);
    ASSERT_FALSE(mapped.empty());
    ASSERT_FALSE(untouched.empty());
    PlayerHarness player(clip);
    std::optional<test::ReceivedFrame> first = player.NextFrame(5000);
    ASSERT_TRUE(first);
    ASSERT_EQ(first->width, 320);
    ASSERT_EQ(first->height, 240);
    const size_t luma = 320 * 240;
    const double toMapped = test::LumaPsnr(first->yuv.data(), mapped.data(), luma);
    const double untouchedToMapped = test::LumaPsnr(mapped.data(), untouched.data(), luma);
    std::printf("%s: luma PSNR against the engine's chain %.1f dB (untouched codes: %.1f dB)\n", transfer,
                toMapped, untouchedToMapped);
    EXPECT_GE(toMapped, 45) << "the engine's tone mapping";
    EXPECT_LT(untouchedToMapped, toMapped - 10);
    EXPECT_EQ(first->colour, playerblock::kTvBt709);
  }
}

// A PQ or HLG clip that names no primaries and no matrix goes over mapped as
// the engine maps it (BT.2020 assumed), not as an empty pane.
TEST(Playrun, UntaggedHdrSourcesGoOverToneMappedAsTheEngineMapsThem) {
  for (test::HdrTransfer transfer : {test::HdrTransfer::kPq, test::HdrTransfer::kHlg}) {
    const bool pq = transfer == test::HdrTransfer::kPq;
    SCOPED_TRACE(pq ? "PQ" : "HLG");
    static std::string folder = test::MakeTempDir("untagged");
    const std::string clip = folder + (pq ? "/pq.mp4" : "/hlg.mp4");
    test::GenerateHdrClip(clip, transfer, 0.3, /*namesColours=*/false);
    const std::vector<uint8_t> mapped =
        test::FfmpegFirstFrameYuv(clip, colour::ToneMapChain(true, true), 320, 240);
    ASSERT_FALSE(mapped.empty());
    PlayerHarness player(clip);
    std::optional<test::ReceivedFrame> first = player.NextFrame(5000);
    ASSERT_TRUE(first) << "no frame handed over";
    ASSERT_EQ(first->width, 320);
    ASSERT_EQ(first->height, 240);
    EXPECT_GE(test::LumaPsnr(first->yuv.data(), mapped.data(), 320 * 240), 45);
  }
}

TEST(Playrun, BadInputEndsWithItsExitCodeAndAMessage) {
  const std::string folder = test::MakeTempDir("bad");
  test::WriteFile(folder + "/not a video.mp4", "this is text, not a video");
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  };
  const std::string player = test::PlayerPath();
  const Case cases[] = {
      {{player, "-hwnd", "5", "-shmem", "_scshare_missing_block", folder + "/x.mp4"},
       playrun::kExitNoSharedBlock, "shared block"},
      {{player, "-hwnd", "5", "-volume", "3", "-shmem", "b", "f.mp4"}, playrun::kExitBadCommandLine,
       "unknown option"},
      {{player, "-hwnd", "0", "-shmem", "b", "f.mp4"}, playrun::kExitBadCommandLine, "-hwnd"},
      {{player}, playrun::kExitBadCommandLine, "no media file"},
  };
  for (const Case& c : cases) {
    test::CommandResult r = test::RunCommand(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  PlayerHarness broken(folder + "/not a video.mp4");
  EXPECT_EQ(broken.Wait(), playrun::kExitCannotPlay);
}

// A source that is a pipe, or a playlist (named as a video) whose segment is
// one: the player refuses it at once instead of waiting for a writer.
TEST(Playrun, APipeOrAPlaylistNamingOneIsRefusedWithoutWaiting) {
  const std::string folder = test::MakeTempDir("pipes");
  ASSERT_EQ(::mkfifo((folder + "/pipe.mp4").c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo((folder + "/seg.ts").c_str(), 0600), 0);
  test::WriteFile(folder + "/playlist.mp4", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\nseg.ts\n#EXT-X-ENDLIST\n");
  for (const char* name : {"/pipe.mp4", "/playlist.mp4"}) {
    test::FifoRescuer rescuer({folder + "/pipe.mp4", folder + "/seg.ts"}, milliseconds(5000));
    const auto start = steady_clock::now();
    PlayerHarness player(folder + name);
    ASSERT_TRUE(player.Started()) << name;
    EXPECT_EQ(player.Wait(), playrun::kExitCannotPlay) << name;
    EXPECT_LT(steady_clock::now() - start, milliseconds(5000)) << name;
    EXPECT_FALSE(rescuer.Rescued()) << name << ": the player waited on the pipe";
  }
}

bool Gone(pid_t pid, milliseconds within) {
  auto deadline = steady_clock::now() + within;
  while (steady_clock::now() < deadline) {
    if (::kill(pid, 0) != 0) return true;
    std::string stat = test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    if (stat.find(") Z") != std::string::npos) return true;
    std::this_thread::sleep_for(milliseconds(20));
  }
  return false;
}

TEST(Playrun, EndsWhenTheProgramThatStartedItDies) {
  const std::string clip = Clip("long.mp4", {.seconds = 20, .width = 64, .height = 48, .frameRate = 5, .audio = false});
  const std::string folder = test::MakeTempDir("host");
  const std::string pidFile = folder + "/player.pid";
  const std::string blockName = "_scshare_host_test" + std::to_string(::getpid());
  // The player needs a block to get going.
  auto block = SharedMemoryBlock::Create(blockName, playerblock::kBlockBytes);
  ASSERT_TRUE(block);
  // A host that starts the player and waits; its pid is the player's parent.
  pid_t host = ::fork();
  ASSERT_GE(host, 0);
  if (host == 0) {
    ::setpgid(0, 0);
    execl("/bin/sh", "sh", "-c",
          "export MIVORA_PARENT_PID=$$; \"$0\" -hwnd 7 -shmem \"$2\" \"$1\" & echo $! > \"$3\"; wait",
          test::PlayerPath().c_str(), clip.c_str(), blockName.c_str(), pidFile.c_str(), nullptr);
    _exit(127);
  }
  pid_t player = 0;
  for (int i = 0; i < 200 && player == 0; ++i) {
    std::this_thread::sleep_for(milliseconds(10));
    player = std::atoi(test::ReadFile(pidFile).c_str());
  }
  ASSERT_GT(player, 0);
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(::kill(player, 0), 0) << "the player should still be playing";
  ::kill(host, SIGKILL);
  ::waitpid(host, nullptr, 0);
  EXPECT_TRUE(Gone(player, milliseconds(3000)));
  SharedMemoryBlock::Unlink(blockName);
}

TEST(Playrun, EndsAtOnceWhenItsStarterDiedBeforeItCouldAskToBeTold) {
  // The environment names a parent that is not (any more) its parent.
  test::CommandResult r = test::RunCommand(
      {"env", "MIVORA_PARENT_PID=1", test::PlayerPath(), "-hwnd", "5", "-shmem", "b", "f.mp4"});
  EXPECT_EQ(r.exitCode, playrun::kExitParentGone) << r.output;
}

}  // namespace
}  // namespace mivora
