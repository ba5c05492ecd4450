#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "common/Folders.h"
#include "pipeline/ConvertHelper.h"
#include "pipeline/EnginePath.h"
#include "platform/CopyDataEndpoint.h"
#include "tests/pipeline/PipelineTestSupport.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using Clock = std::chrono::steady_clock;

struct RunResult {
  bool started = false;
  int exitCode = -1;
  std::vector<CopyDataMessage> messages;
  size_t messagesBeforeEnd = 0;  // received while ConvertStart was still running
  bool guardLeftBehind = false;  // the run's fault guard still set on its thread after it
};

// Whether the calling thread still has an alternate signal stack.
bool AlternateStackSet() {
  stack_t stack{};
  return sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE);
}

// Runs one conversion on a worker thread while this thread takes the
// engine's messages, as the progress window does.
RunResult Convert(ConvertHelper& helper, const std::string& source, const std::string& output,
                  const std::string& arguments) {
  RunResult result;
  auto endpoint = CopyDataEndpoint::Open();
  EXPECT_TRUE(endpoint);
  if (!endpoint) return result;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    result.started = helper.ConvertStart(source, output, endpoint->Number(), arguments,
                                         &result.exitCode);
    result.guardLeftBehind = AlternateStackSet();
    done.store(true);
  });
  while (!done.load()) {
    if (auto message = endpoint->Receive(20)) {
      result.messages.push_back(*message);
      if (!done.load()) ++result.messagesBeforeEnd;
    }
  }
  worker.join();
  while (auto message = endpoint->Receive(0)) result.messages.push_back(*message);
  EXPECT_FALSE(result.guardLeftBehind) << "the run left its fault guard for the caller to remove";
  return result;
}

bool AnyTimeReport(const std::vector<CopyDataMessage>& messages) {
  for (const auto& m : messages)
    if (m.payload.find("time=") != std::string::npos) return true;
  return false;
}

std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  while (dir != nullptr) {
    dirent* entry = ::readdir(dir);
    if (entry == nullptr) break;
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.insert(name);
  }
  if (dir) ::closedir(dir);
  return names;
}

TEST(ConvertHelper, ConvertsVideoWithAudioVideoOnlyAndAudioOnly) {
  std::string folder = test::MakeTempDir("convert");
  struct Case {
    const char* source;
    test::ClipSpec shape;
    const char* arguments;
    const char* output;
    const char* videoCodec;
    int width, height;
    const char* audioCodec;
    int sampleRate, channels;
  };
  test::ClipSpec both;
  both.seconds = 2;
  test::ClipSpec videoOnly;
  videoOnly.seconds = 1;
  videoOnly.audio = false;
  test::ClipSpec audioOnly;
  audioOnly.seconds = 1;
  audioOnly.video = false;
  const Case cases[] = {
      {"both.mp4", both,
       "-b 400k -r 25 -aspect 4:3  -ab 96k  -ar 44100  -ac 2  -vol 256 -vcodec mpeg4 -acodec "
       "libmp3lame -s 160x120 ",
       "both.avi", "mpeg4", 160, 120, "mp3", 44100, 2},
      {"edited.mp4", both,
       "-b 400k -vcodec libxvid -acodec mp2 -s 160x120  -vf \"crop=300:200:10:20\",\"hflip\"",
       "edited.avi", "mpeg4", 160, 106, "mp2", 44100, 2},  // the 3:2 crop keeps its shape in the box
      {"video.mkv", videoOnly, "-b 300k -vcodec libx264 -acodec libfaac -s 176x144 ",
       "video.mp4", "h264", 176, 132, "", 0, 0},  // 4:3 inside the 176x144 box
      {"audio.wav", audioOnly, " -ab 64k  -ar 22050  -ac 1  -vcodec copy -acodec libmp3lame ",
       "audio.mp3", "", 0, 0, "mp3", 22050, 1},
  };
  ConvertHelper helper;  // one per batch, as the batch worker uses it
  for (const Case& c : cases) {
    std::string source = folder + "/" + c.source;
    std::string output = folder + "/" + c.output;
    test::GenerateClip(source, c.shape);
    RunResult r = Convert(helper, source, output, c.arguments);
    ASSERT_TRUE(r.started) << c.source;
    EXPECT_EQ(r.exitCode, 0) << c.source;
    EXPECT_TRUE(AnyTimeReport(r.messages)) << c.source;
    EXPECT_GT(r.messagesBeforeEnd, 0u) << "messages must arrive while the engine runs";
    test::ProbeFacts facts = test::ProbeWithFfprobe(output);
    ASSERT_TRUE(facts.readable) << c.output;
    EXPECT_EQ(facts.video.codec, c.videoCodec) << c.output;
    EXPECT_EQ(facts.video.width, c.width) << c.output;
    EXPECT_EQ(facts.video.height, c.height) << c.output;
    EXPECT_EQ(facts.audio.codec, c.audioCodec) << c.output;
    EXPECT_EQ(facts.audio.sampleRate, c.sampleRate) << c.output;
    EXPECT_EQ(facts.audio.channels, c.channels) << c.output;
    EXPECT_NEAR(facts.durationSeconds, c.shape.seconds, 0.2) << c.output;
  }
  EXPECT_EQ(test::LogLinesWith("Enter: ConvertHelper::ConvertStart").size(), 4u);
  EXPECT_EQ(test::LogLinesWith("Leave: ConvertHelper::ConvertStart, Convert Finish, Result: TRUE")
                .size(),
            4u);
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
}

TEST(ConvertHelper, StopEndsTheRunAtOnceAndLeavesNoProcess) {
  ResetLogForNewRun();  // the lines counted below are this run's
  std::string fifo = test::MakeFifo("endless.avi");  // the engine waits on it for ever
  std::string output = test::MakeTempDir("stop") + "/out.avi";
  ConvertHelper helper;
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  test::EngineWatcher watcher;
  bool started = false;
  int exitCode = -1;
  std::thread worker([&] {
    started = helper.ConvertStart(fifo, output, endpoint->Number(), "-vcodec mpeg4 ", &exitCode);
  });
  ASSERT_TRUE(watcher.WaitForFfmpeg()) << "ffmpeg never ran in the engine's group";
  auto stopAt = Clock::now();
  helper.Stop();
  double stopSeconds = std::chrono::duration<double>(Clock::now() - stopAt).count();
  // Stop returns only when the run has ended and nothing of it is left.
  std::vector<test::ProcessEntry> group = test::ProcessesInGroup(watcher.Group());
  worker.join();
  watcher.Stop();
  EXPECT_LT(stopSeconds, 1.0);
  EXPECT_TRUE(group.empty()) << test::Describe(group);
  EXPECT_TRUE(started);
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(test::LogLinesWith("Leave: ConvertHelper::ConvertStart, Convert Finish, Result: TRUE")
                .size(),
            1u);
  EXPECT_TRUE(test::LeftoverProcesses().empty()) << test::Describe(test::LeftoverProcesses());
  // The helper serves the next job as usual.
  auto again = Clock::now();
  helper.Stop();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - again).count(), 0.1);
}

TEST(ConvertHelper, StopWithoutARunReturnsAtOnce) {
  ConvertHelper helper;
  auto start = Clock::now();
  helper.Stop();
  helper.Stop();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 0.1);
}

TEST(ConvertHelper, AwkwardPathsConvertAndTouchNoOtherFile) {
  std::string folder = test::MakeTempDir("awkward");
  test::ClipSpec shape;
  shape.seconds = 1;
  shape.width = 160;
  shape.height = 120;
  const std::string names[] = {
      "with blank",  "quote\"d", "apostrophe's", "\xC3\xBCn\xC3\xAF c\xC3\xB6" "d\xC3\xA9 \xE6\x97\xA5",
      "hash#1",      "dollar$HOME", "-y", "back\\slash\\", "concat:x|y",
  };
  ConvertHelper helper;
  std::set<std::string> expected;
  for (const std::string& name : names) {
    std::string source = folder + "/" + name + ".mp4";
    std::string output = folder + "/" + name + ".avi";
    test::GenerateClip(source, shape);
    expected.insert(name + ".mp4");
    RunResult r = Convert(helper, source, output, "-vcodec mpeg4 -acodec mp2 -s 96x72 ");
    ASSERT_TRUE(r.started) << name;
    EXPECT_EQ(r.exitCode, 0) << name;
    expected.insert(name + ".avi");
    test::ProbeFacts facts = test::ProbeWithFfprobe(output);
    EXPECT_EQ(facts.video.width, 96) << name;
    EXPECT_EQ(facts.audio.codec, "mp2") << name;
    // Exactly the asked file was written: nothing else appeared.
    EXPECT_EQ(FolderEntries(folder), expected) << name;
  }
}

TEST(ConvertHelper, LongArgumentTextsAreNeverCut) {
  std::string folder = test::MakeTempDir("long");
  test::ClipSpec shape;
  shape.seconds = 1;
  shape.width = 160;
  shape.height = 120;
  std::string source = folder + "/in.mp4";
  test::GenerateClip(source, shape);
  // 300 quoted filter segments push the size option far past 1024 bytes.
  std::string arguments = "-vcodec mpeg4 -an -vf ";
  for (int i = 0; i < 300; ++i) arguments += (i ? ",\"null\"" : "\"null\"");
  arguments += " -s 64x48 ";
  ASSERT_GT(arguments.size(), 2000u);
  ConvertHelper helper;
  RunResult r = Convert(helper, source, folder + "/out.avi", arguments);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0);
  test::ProbeFacts facts = test::ProbeWithFfprobe(folder + "/out.avi");
  EXPECT_EQ(facts.video.width, 64);
  EXPECT_EQ(facts.video.height, 48);
}

TEST(ConvertHelper, ACodecThatCannotBeHadEndsWithAnExitCodeAndNoFile) {
  std::string folder = test::MakeTempDir("nocodec");
  test::ClipSpec shape;
  shape.seconds = 1;
  shape.width = 160;
  shape.height = 120;
  std::string source = folder + "/in.mp4";
  test::GenerateClip(source, shape);
  ConvertHelper helper;
  RunResult r =
      Convert(helper, source, folder + "/out.3gp", "-vcodec h263p -acodec libopencore_amrnb ");
  EXPECT_TRUE(r.started);
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(FileExists(folder + "/out.3gp"));
  bool explained = false;
  for (const auto& m : r.messages) explained |= m.payload.find("AMR-NB") != std::string::npos;
  EXPECT_TRUE(explained);
}

TEST(ConvertHelper, CommandLineTextAndArgumentVector) {
  const std::string engine = EnginePath();
  EXPECT_EQ(ConvertHelper::BuildCommandLine("/v/in a.mp4", "/o/out.avi", 42, "-b 1000k "),
            "\"" + engine + "\" -i \"/v/in a.mp4\" -dxva2 0 -hwnd 42 -b 1000k  \"/o/out.avi\"");
  std::vector<std::string> argv = ConvertHelper::BuildArgumentVector(
      "/v/a\" -y \"b.mp4", "/o/\"x\".avi", 7, "-vf \"crop=1:2:3:4\",\"scale=5:6\" -s 5x6");
  EXPECT_EQ(argv, (std::vector<std::string>{engine, "-i", "/v/a\" -y \"b.mp4", "-dxva2", "0",
                                            "-hwnd", "7", "-vf", "crop=1:2:3:4,scale=5:6", "-s",
                                            "5x6", "/o/\"x\".avi"}));
  // An unbalanced quote in the argument text cannot swallow the output path.
  argv = ConvertHelper::BuildArgumentVector("/in.mp4", "/out.avi", 7, "-vf \"crop");
  EXPECT_EQ(argv.back(), "/out.avi");
}

}  // namespace
}  // namespace mivora
