#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

extern char** environ;

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kProfiles = std::string(MIVORA_PROGRAM_DIR) + "/Profiles";
const std::string kAvi = kProfiles + "/General Video/AVI - MPEG-4 Video.xml";
const std::string kMp3 = kProfiles + "/Audio/MP3 - MPEG Layer-3 Audio.xml";
const std::string kFullHd = kProfiles + "/HD Video/MP4 - H.264 Full HD 1080p.xml";

std::vector<std::string> Clips(int count, double seconds = 1.5) {
  std::string dir = test::MakeTempDir("sources");
  std::vector<std::string> clips;
  for (int i = 0; i < count; ++i) {
    clips.push_back(dir + "/clip " + std::to_string(i) + (i % 2 ? ".avi" : ".mp4"));
    test::GenerateClip(clips.back(), {.seconds = seconds, .width = 160, .height = 120});
  }
  return clips;
}

test::CommandResult Convert(std::vector<std::string> args, const std::vector<std::string>& files) {
  args.insert(args.begin(), {kCli, "convert"});
  args.insert(args.end(), files.begin(), files.end());
  return test::RunCommand(args);
}


TEST(ConvertCli, ThreeClipsTwoProfilesWithEdits) {
  std::vector<std::string> clips = Clips(3);
  std::string out = test::MakeTempDir("out");
  test::CommandResult video =
      Convert({"--profile", kAvi, "-o", out + "/video", "--trim", "0-1", "--flip", "h", "--text", "Hi"}, clips);
  ASSERT_EQ(video.exitCode, 0) << video.output;
  EXPECT_NE(video.output.find("Converted successfully!"), std::string::npos);
  EXPECT_NE(video.output.find("100%"), std::string::npos);
  for (int i = 0; i < 3; ++i) {
    test::ProbeFacts facts = test::ProbeWithFfprobe(out + "/video/clip " + std::to_string(i) + ".avi");
    EXPECT_EQ(facts.video.codec, "mpeg4") << i;
    EXPECT_NEAR(facts.durationSeconds, 1.0, 0.15) << i;  // trimmed
  }
  test::CommandResult audio = Convert({"--profile", kMp3, "-o", out + "/audio"}, clips);
  ASSERT_EQ(audio.exitCode, 0) << audio.output;
  for (int i = 0; i < 3; ++i) {
    test::ProbeFacts facts = test::ProbeWithFfprobe(out + "/audio/clip " + std::to_string(i) + ".mp3");
    EXPECT_EQ(facts.audio.codec, "mp3") << i;
    EXPECT_FALSE(facts.video.present) << i;
  }
}

TEST(ConvertCli, ExistingOutputsAreAskedAboutSkippedOrOverwritten) {
  std::vector<std::string> clips = Clips(1);
  std::string out = test::MakeTempDir("out");
  std::string target = out + "/clip 0.avi";
  test::WriteFile(target, "keep me");
  // No terminal and no option: the question is answered No, and said so.
  test::CommandResult asked = Convert({"--profile", kAvi, "-o", out}, clips);
  EXPECT_EQ(asked.exitCode, 1);
  EXPECT_NE(asked.output.find("is exists."), std::string::npos) << asked.output;
  EXPECT_EQ(test::ReadFile(target), "keep me");
  test::CommandResult skipped = Convert({"--profile", kAvi, "-o", out, "--skip-existing"}, clips);
  EXPECT_EQ(skipped.exitCode, 1);
  EXPECT_NE(skipped.output.find("skipped, the output file exists."), std::string::npos);
  EXPECT_EQ(test::ReadFile(target), "keep me");
  test::CommandResult overwritten = Convert({"--profile", kAvi, "-o", out, "--overwrite"}, clips);
  EXPECT_EQ(overwritten.exitCode, 0) << overwritten.output;
  EXPECT_EQ(test::ProbeWithFfprobe(target).video.codec, "mpeg4");
}

TEST(ConvertCli, AFailingFileIsNamedAndTheOthersConvert) {
  std::vector<std::string> clips = Clips(2);
  std::string broken = test::MakeTempDir("sources") + "/broken.avi";
  test::WriteFile(broken, std::string(5000, '\x42'));
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = Convert({"--profile", kAvi, "-o", out}, {clips[0], broken, clips[1]});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.output.find("Converted 2 of 3 files."), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("broken.avi: The converter engine ended with exit code"), std::string::npos)
      << r.output;
  EXPECT_TRUE(FileExists(out + "/clip 0.avi"));
  EXPECT_TRUE(FileExists(out + "/clip 1.avi"));
}

TEST(ConvertCli, BadInvocationsSayWhy) {
  std::vector<std::string> clips = Clips(1);
  const struct {
    std::vector<std::string> args;
    const char* message;
  } rows[] = {
      {{"--profile", "/no/such.xml", "-o", "/tmp"}, "no profile file"},
      {{"--profile", "999999999", "-o", "/tmp"}, "no profile has the identifier"},
      {{"--profile", kAvi, "-o", "/tmp", "--crop", "1,2,3"}, "not a valid value"},
      {{"--profile", kAvi, "-o", "/tmp", "--edit", "nosuchfield=1"}, "expected FIELD=VALUE"},
      {{"--profile", kAvi, "--frobnicate"}, "unknown option"},
  };
  for (const auto& row : rows) {
    test::CommandResult r = Convert(row.args, clips);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find(row.message), std::string::npos) << r.output;
  }
  test::CommandResult none = Convert({"--profile", kAvi, "-o", "/tmp"}, {"/no/such/file.avi"});
  EXPECT_NE(none.output.find("no files to convert"), std::string::npos) << none.output;
}

TEST(ArgsCli, PrintsTheWholeJobArgumentText) {
  test::CommandResult plain = test::RunCommand({kCli, "args", kAvi});
  ASSERT_EQ(plain.exitCode, 0) << plain.output;
  test::CommandResult edited = test::RunCommand(
      {kCli, "args", kAvi, "--edit", "effectsEnabled=1", "--edit", "contrast=100", "--edit",
       "saturation=100", "--edit", "flipVertical=1", "--edit", "textEnabled=1", "--edit",
       "watermarkText=-r 5 -s 12x34", "--edit", "fontFile=/f.ttf", "--crop", "10,10,110,90",
       "--trim", "00:00:05-00:00:07"});
  ASSERT_EQ(edited.exitCode, 0) << edited.output;
  // The profile's text, the finished edit chain (the size option moved behind
  // the crop), and nothing rewritten inside the watermark text.
  std::string profileArgs = plain.output.substr(0, plain.output.find(" -s 640x480"));
  EXPECT_EQ(edited.output,
            profileArgs + "   -vf \"vflip\",\"drawtext=text='-r 5 -s 12x34':fontfile='/f.ttf':"
            "fontsize=0:fontcolor=00000000:x=0:y=0\",\"crop=100:80:10:10\",\"scale=640:480\" "
            "-ss 5.000 -t 2.000 \n");
}

TEST(ConvertCli, CtrlCStopsTheEngineAndRemovesThePartialFile) {
  for (bool keepPartial : {false, true}) {
    std::vector<std::string> clips = Clips(1, 30);
    std::string out = test::MakeTempDir("out");
    std::vector<std::string> argv = {kCli, "convert", "--profile", kFullHd, "-o", out};
    if (keepPartial) argv.push_back("--keep-partial");
    argv.push_back(clips[0]);
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    std::string output = out + "/clip 0.mp4";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (FileSize(output) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_GT(FileSize(output), 0u) << "the conversion never started writing";
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(FileExists(output), keepPartial);
    EXPECT_EQ(test::ProcessesMentioning(out), 0);
  }
}

}  // namespace
}  // namespace mivora
