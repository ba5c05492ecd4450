// The trancor program itself, run as the program runs it, on real clips.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "common/Folders.h"
#include "platform/ChildProcess.h"
#include "platform/CopyDataEndpoint.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/trancor/TrancorExitCodes.h"

namespace mivora::trancor {
namespace {

using test::RunCommand;

const std::string kTrancor = std::string(MIVORA_PROGRAM_DIR) + "/trancor";

// A 1-second 160x120 clip with MPEG-4 video and MP3 audio, made once.
const std::string& SourceClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("source") + "/source.avi";
    test::ClipSpec shape;
    shape.seconds = 1;
    shape.width = 160;
    shape.height = 120;
    test::GenerateClip(p, shape);
    return p;
  }();
  return path;
}

std::vector<CopyDataMessage> Drain(CopyDataEndpoint& endpoint) {
  std::vector<CopyDataMessage> messages;
  while (auto message = endpoint.Receive(0)) messages.push_back(*message);
  return messages;
}

bool AnyPayloadContains(const std::vector<CopyDataMessage>& messages, const std::string& part) {
  for (const auto& m : messages)
    if (m.payload.find(part) != std::string::npos) return true;
  return false;
}

TEST(TrancorRun, EveryEngineCodecNameEncodesWithDebiansFfmpeg) {
  struct Case {
    std::string options;  // the argument text's codec part
    std::string extension;
    std::string videoCodec, audioCodec;  // ffprobe's names; "" when no such stream
  };
  const Case cases[] = {
      {"-vcodec libx264 -acodec libfaac", "mp4", "h264", "aac"},
      {"-vcodec mpeg2video -acodec mp2", "mpg", "mpeg2video", "mp2"},
      {"-vcodec msvideo1 -an", "avi", "msvideo1", ""},
      {"-vcodec libxvid -acodec libmp3lame", "avi", "mpeg4", "mp3"},
      {"-vcodec mpeg4 -an", "avi", "mpeg4", ""},
      {"-vcodec mpeg1video -an", "mpg", "mpeg1video", ""},
      {"-vcodec wmv2 -acodec wmav2", "wmv", "wmv2", "wmav2"},
      {"-vcodec wmv1 -acodec wmav1", "wmv", "wmv1", "wmav1"},
      {"-vcodec h263p -an", "avi", "h263", ""},
      {"-vcodec h261 -s 176x144 -an", "avi", "h261", ""},
      {"-vcodec msmpeg4 -an", "avi", "msmpeg4v3", ""},
      {"-vcodec msmpeg4v2 -an", "avi", "msmpeg4v2", ""},
      {"-vcodec mjpeg -an", "avi", "mjpeg", ""},
      {"-vcodec flv -an", "flv", "flv1", ""},
      {"-vcodec rv10 -s 176x144 -an", "rm", "rv10", ""},
      {"-vcodec rv20 -an", "rm", "rv20", ""},
      {"-vcodec dvvideo -s 720x576 -r 25 -an", "dv", "dvvideo", ""},
      {"-vcodec libtheora -acodec vorbis", "ogv", "theora", "vorbis"},
      {"-vn -acodec libgsm -ar 8000 -ac 1", "gsm", "", "gsm"},
      {"-vn -acodec ac3", "ac3", "", "ac3"},
      {"-vn -acodec dca -strict experimental", "dts", "", "dts"},
      {"-vn -acodec flac", "flac", "", "flac"},
      {"-vn -acodec alac", "m4a", "", "alac"},
      {"-vn -acodec pcm_s16le", "wav", "", "pcm_s16le"},
      {"-vn -acodec pcm_s16be", "aiff", "", "pcm_s16be"},
      {"-vcodec copy -acodec copy", "mkv", "mpeg4", "mp3"},
  };
  std::string folder = test::MakeTempDir("codecs");
  int index = 0;
  for (const Case& c : cases) {
    std::string output = folder + "/out" + std::to_string(index++) + "." + c.extension;
    std::vector<std::string> argv = {kTrancor, "-i", SourceClip(), "-dxva2", "0"};
    size_t start = 0;
    while (start < c.options.size()) {
      size_t end = c.options.find(' ', start);
      if (end == std::string::npos) end = c.options.size();
      argv.push_back(c.options.substr(start, end - start));
      start = end + 1;
    }
    argv.push_back(output);
    test::CommandResult r = RunCommand(argv);
    ASSERT_EQ(r.exitCode, 0) << c.options << "\n" << r.output;
    test::ProbeFacts facts = test::ProbeWithFfprobe(output);
    ASSERT_TRUE(facts.readable) << c.options;
    EXPECT_EQ(facts.video.codec, c.videoCodec) << c.options;
    EXPECT_EQ(facts.audio.codec, c.audioCodec) << c.options;
  }
}

TEST(TrancorRun, ConsoleTextReachesTheEndpointRecordByRecord) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  std::string output = test::MakeTempDir("text") + "/out.avi";
  // The window's thread takes messages while the engine runs.
  std::atomic<bool> done{false};
  std::vector<CopyDataMessage> messages;
  std::thread receiver([&] {
    while (!done.load())
      if (auto m = endpoint->Receive(50)) messages.push_back(*m);
  });
  test::CommandResult r =
      RunCommand({kTrancor, "-i", SourceClip(), "-dxva2", "0", "-hwnd",
                  std::to_string(endpoint->Number()), "-vcodec", "mpeg4", "-acodec", "mp2",
                  "-s", "160x120", output});
  done.store(true);
  receiver.join();
  for (auto& m : Drain(*endpoint)) messages.push_back(m);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  ASSERT_FALSE(messages.empty());
  bool sawTime = false;
  for (const auto& m : messages) {
    EXPECT_EQ(m.dataWord, copydata::kEngineTextWord);
    EXPECT_FALSE(m.payload.empty());
    EXPECT_EQ(m.payload.find_first_of("\r\n"), std::string::npos) << m.payload;
    size_t at = m.payload.find("time=");
    if (at != std::string::npos) {
      sawTime = true;
      // A whole report: "time=" and the clock after it are in the same message.
      ASSERT_GE(m.payload.size(), at + 13) << m.payload;
      EXPECT_EQ(m.payload[at + 7], ':') << m.payload;
      EXPECT_EQ(m.payload[at + 10], ':') << m.payload;
    }
  }
  EXPECT_TRUE(sawTime);
  EXPECT_TRUE(AnyPayloadContains(messages, "Duration: "));
}

TEST(TrancorRun, FailuresAreReportedWithTheirExitCodes) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  std::string hwnd = std::to_string(endpoint->Number());
  std::string folder = test::MakeTempDir("failures");
  std::string noFfmpegPath = test::MakeTempDir("empty-path");
  struct Case {
    std::vector<std::string> argv;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{kTrancor, "-i", SourceClip(), "-hwnd", hwnd, "-acodec", "libopencore_amrnb",
        folder + "/amr.3gp"},
       kExitCannotConvert, "AMR-NB"},
      {{kTrancor, "-i", SourceClip(), "-hwnd", hwnd, "-vcodec", "msmpeg4v1", folder + "/v1.avi"},
       kExitCannotConvert, "msmpeg4v1"},
      {{kTrancor, "-i", SourceClip(), "-hwnd", hwnd, "-vf", "movie=/etc/passwd", folder + "/vf.avi"},
       kExitCannotConvert, "picture watermark"},
      {{kTrancor, "-i", SourceClip(), "-hwnd", hwnd, "-frobnicate", folder + "/bad.avi"},
       kExitBadCommandLine, "-frobnicate"},
      {{"/usr/bin/env", "PATH=" + noFfmpegPath, kTrancor, "-i", SourceClip(), "-hwnd", hwnd,
        folder + "/noffmpeg.avi"},
       kExitNoFfmpeg, "ffmpeg is not installed"},
  };
  // The source itself as the output, spelled differently: refused, source kept.
  std::string sourceCopy = folder + "/keep.avi";
  test::WriteFile(sourceCopy, test::ReadFile(SourceClip()));
  test::CommandResult same = RunCommand({kTrancor, "-i", sourceCopy, "-hwnd", hwnd, "-vcodec",
                                         "mpeg4", folder + "/./keep.avi"});
  EXPECT_EQ(same.exitCode, kExitCannotConvert) << same.output;
  EXPECT_TRUE(AnyPayloadContains(Drain(*endpoint), "the source file itself"));
  EXPECT_EQ(test::ReadFile(sourceCopy), test::ReadFile(SourceClip()));
  for (const Case& c : cases) {
    test::CommandResult r = RunCommand(c.argv);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_TRUE(AnyPayloadContains(Drain(*endpoint), c.message)) << c.message;
    EXPECT_FALSE(FileExists(c.argv.back())) << "no output may be written: " << c.argv.back();
  }
  // A probe without ffmpeg says so too.
  test::CommandResult probe =
      RunCommand({"/usr/bin/env", "PATH=" + noFfmpegPath, kTrancor, "-i", SourceClip()});
  EXPECT_EQ(probe.exitCode, kExitNoFfmpeg);
  EXPECT_NE(probe.output.find("ffmpeg is not installed"), std::string::npos);
}

TEST(TrancorRun, AGpuEncoderThatDoesNotOpenGivesWayToTheSoftwareEncoder) {
  auto endpoint = CopyDataEndpoint::Open();
  ASSERT_TRUE(endpoint);
  std::string output = test::MakeTempDir("gpu") + "/out.mp4";
  std::atomic<bool> done{false};
  std::vector<CopyDataMessage> messages;
  std::thread receiver([&] {
    while (!done.load())
      if (auto m = endpoint->Receive(50)) messages.push_back(*m);
  });
  // No CUDA device is visible to ffmpeg, whatever this machine has.
  test::CommandResult r = RunCommand({"/usr/bin/env", "CUDA_VISIBLE_DEVICES=", kTrancor, "-i", SourceClip(), "-hwnd",
                                      std::to_string(endpoint->Number()), "-vcodec", "cudax264", "-an", output});
  done.store(true);
  receiver.join();
  for (auto& m : Drain(*endpoint)) messages.push_back(m);
  ASSERT_EQ(r.exitCode, 0) << r.output;
  const std::string said = "the GPU H.264 encoder could not be opened; converting with the software encoder libx264";
  EXPECT_NE(r.output.find(said), std::string::npos) << r.output;
  EXPECT_TRUE(AnyPayloadContains(messages, said)) << "the program's log hears it too";
  test::ProbeFacts facts = test::ProbeWithFfprobe(output);
  EXPECT_EQ(facts.video.codec, "h264");
  EXPECT_EQ(facts.video.width, 160);

  // A failure that is not the GPU encoder's is not retried.
  test::CommandResult broken = RunCommand({kTrancor, "-i", test::MakeTempDir("none") + "/missing.avi", "-vcodec",
                                           "cudax264", output});
  EXPECT_NE(broken.exitCode, 0);
  EXPECT_EQ(broken.output.find(said), std::string::npos) << broken.output;
}

TEST(TrancorRun, ProbePassesFfmpegsReportThrough) {
  test::CommandResult r = RunCommand({kTrancor, "-i", SourceClip()});
  EXPECT_EQ(r.exitCode, 1);  // ffmpeg's: no output file given
  EXPECT_NE(r.output.find("\n  Duration: 00:00:01"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(": Video: mpeg4"), std::string::npos) << r.output;
}

bool ProcessExists(pid_t pid) {
  struct stat info;
  return ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  std::string list = test::ReadFile("/proc/" + std::to_string(parent) + "/task/" +
                                    std::to_string(parent) + "/children");
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find(' ', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) children.push_back(std::stoi(list.substr(start, end - start)));
    start = end + 1;
  }
  return children;
}

TEST(TrancorRun, AStoppedTrancorTakesItsFfmpegWithIt) {
  // A FIFO nobody writes to: ffmpeg waits on it for ever.
  std::string fifo = test::MakeTempDir("fifo") + "/never.avi";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ChildOptions options;
  auto trancor = ChildProcess::Start(
      {kTrancor, "-i", fifo, "-vcodec", "mpeg4", test::MakeTempDir("out") + "/o.avi"}, options);
  ASSERT_TRUE(trancor);
  std::vector<pid_t> children;
  for (int i = 0; i < 100 && children.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    children = ChildrenOf(trancor->Pid());
  }
  ASSERT_EQ(children.size(), 1u) << "trancor should be running ffmpeg";
  trancor->Signal(SIGTERM);
  int status = trancor->Wait();
  EXPECT_NE(status, 0);
  for (int i = 0; i < 50 && ProcessExists(children[0]); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(ProcessExists(children[0])) << "ffmpeg outlived trancor";
}

// A 30-second clip: its conversion to full HD is still writing when a test
// strikes.
const std::string& LongClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("long") + "/long.avi";
    test::GenerateClip(p, {.seconds = 30, .width = 160, .height = 120});
    return p;
  }();
  return path;
}

// A slow conversion of `source` into `output`, as the program asks for it.
std::vector<std::string> SlowConversion(const std::string& source, const std::string& output) {
  return {kTrancor, "-i", source, "-vcodec", "libx264", "-s", "1920x1080", "-an", output};
}

// Names in `folder`, hidden ones included, sorted.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

using test::Within;

// The program that started trancor is killed while it converts: the thread
// that started it ends first, and the rest of the program at once or a
// moment later. trancor then ends with its ffmpeg and removes its
// unfinished output, which no one else is left to remove.
TEST(TrancorRun, AProgramKilledWhileConvertingLeavesNoUnfinishedFile) {
  for (int lingerMs : {0, 300, 1500}) {
    SCOPED_TRACE("the program lingers " + std::to_string(lingerMs) + " ms");
    std::string out = test::MakeTempDir("killed");
    std::vector<std::string> argv = {THREAD_PARENT, std::to_string(lingerMs)};
    for (const std::string& arg : SlowConversion(LongClip(), out + "/.clip.partial-1-1.mp4")) argv.push_back(arg);
    test::CommandResult r = RunCommand(argv);
    pid_t engine = std::atoi(r.output.c_str());
    ASSERT_GT(engine, 0) << r.output;
    EXPECT_TRUE(Within(std::chrono::seconds(5), [&] { return !ProcessExists(engine) && test::ProcessesMentioning(out) == 0; }))
        << "trancor or ffmpeg outlived the program";
    EXPECT_EQ(Entries(out), std::vector<std::string>{});
  }
}

// However else a run ends, its unfinished output goes with it; only a stop
// by the running program leaves it, for the program to remove or (when
// unfinished files are kept) to name.
TEST(TrancorRun, AnUnfinishedOutputGoesUnlessTheProgramStoppedTheRun) {
  for (bool programStops : {false, true}) {
    SCOPED_TRACE(programStops ? "stopped by the program" : "ffmpeg killed");
    std::string out = test::MakeTempDir("ends") + "/.clip.partial-1-1.mp4";
    auto trancor = ChildProcess::Start(SlowConversion(LongClip(), out), ChildOptions{});
    ASSERT_TRUE(trancor);
    ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return FileSize(out) > 0; }));
    std::vector<pid_t> children = ChildrenOf(trancor->Pid());
    ASSERT_EQ(children.size(), 1u);
    if (programStops)
      trancor->Signal(SIGTERM);
    else
      ::kill(children[0], SIGKILL);
    EXPECT_NE(trancor->Wait(), 0);
    EXPECT_EQ(FileExists(out), programStops);
  }
}

// trancor opens a source whose name holds a line break through a link in a
// temporary folder of its own; however the run ends, that folder goes: at
// the run's end, or, when trancor itself was killed, at the next start of
// the program.
TEST(TrancorRun, ASourceNamedWithALineBreakLeavesNoTemporaryFolder) {
  std::string sources = test::MakeTempDir("line-break");
  std::string source = sources + "/two\nlines.avi";
  ASSERT_EQ(::symlink(LongClip().c_str(), source.c_str()), 0);
  std::string shortSource = sources + "/short\nclip.avi";
  ASSERT_EQ(::symlink(SourceClip().c_str(), shortSource.c_str()), 0);
  enum class End { kFinished, kStopped, kProgramKilled, kKilled };
  for (End end : {End::kFinished, End::kStopped, End::kProgramKilled, End::kKilled}) {
    SCOPED_TRACE(static_cast<int>(end));
    std::string tmp = test::MakeTempDir("tmp");
    std::string out = test::MakeTempDir("out") + "/out.mp4";
    std::vector<std::string> env = {"/usr/bin/env", "TMPDIR=" + tmp};
    auto withEnv = [&](std::vector<std::string> argv) {
      argv.insert(argv.begin(), env.begin(), env.end());
      return argv;
    };
    if (end == End::kFinished) {
      test::CommandResult r = RunCommand(withEnv({kTrancor, "-i", shortSource, "-vcodec", "mpeg4", "-an", out}));
      EXPECT_EQ(r.exitCode, 0) << r.output;
    } else if (end == End::kProgramKilled) {
      std::vector<std::string> argv = {THREAD_PARENT, "0"};
      for (const std::string& arg : SlowConversion(source, out)) argv.push_back(arg);
      pid_t engine = std::atoi(RunCommand(withEnv(argv)).output.c_str());
      EXPECT_TRUE(Within(std::chrono::seconds(5), [&] { return engine > 0 && !ProcessExists(engine); }));
    } else {
      auto trancor = ChildProcess::Start(withEnv(SlowConversion(source, out)), ChildOptions{});
      ASSERT_TRUE(trancor);
      ASSERT_TRUE(Within(std::chrono::seconds(60), [&] { return FileSize(out) > 0; }));
      trancor->Signal(end == End::kStopped ? SIGTERM : SIGKILL);
      trancor->Wait();
      // A later start of the program clears what a killed run left.
      if (end == End::kKilled) RunCommand(withEnv({std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli", "profiles"}));
    }
    EXPECT_EQ(Entries(tmp), std::vector<std::string>{});
  }
}

}  // namespace
}  // namespace mivora::trancor
