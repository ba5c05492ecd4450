#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstring>
#include <thread>

#include "common/Folders.h"
#include "pipeline/JobFailure.h"
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
      Convert({"--profile", kAvi, "-o", out + "/video", "--jobs", "3", "--trim", "0-1", "--flip", "h",
               "--text", "Hi"},
              clips);
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
  EXPECT_NE(r.output.find("broken.avi: The file is damaged or is not a video or sound file"),
            std::string::npos)
      << r.output;
  // The engine's own lines stay in the log unless asked for.
  EXPECT_EQ(r.output.find("Invalid data found"), std::string::npos) << r.output;
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
      {{"--profile", kAvi, "-o", "/tmp", "--jobs", "0"}, "--jobs takes a number from 1 to 16"},
      {{"--profile", kAvi, "-o", "/tmp", "--jobs", "17"}, "--jobs takes a number from 1 to 16"},
      {{"--profile", kAvi, "-o", "/tmp", "--jobs", "two"}, "--jobs takes a number from 1 to 16"},
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

// mivora-cli convert started in the background, its output thrown away.
pid_t SpawnConvert(std::vector<std::string> argv) {
  argv.insert(argv.begin(), {kCli, "convert"});
  std::vector<char*> raw;
  for (auto& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Names in `folder`, hidden ones included.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir))
      if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
        names.push_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

// Waits until the engine has written into `folder` (a minute at most).
bool EngineWriting(const std::string& folder) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& name : Entries(folder))
      if (FileSize(folder + "/" + name) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

using test::Within;

const std::string& LongClip() {
  static const std::string path = Clips(1, 30)[0];
  return path;
}

TEST(ConvertCli, CtrlCStopsTheEngineAndRemovesThePartialFile) {
  for (bool keepPartial : {false, true}) {
    std::string out = test::MakeTempDir("out");
    std::vector<std::string> argv = {"--profile", kFullHd, "-o", out};
    if (keepPartial) argv.push_back("--keep-partial");
    argv.push_back(LongClip());
    pid_t pid = SpawnConvert(argv);
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(EngineWriting(out)) << "the conversion never started writing";
    EXPECT_FALSE(FileExists(out + "/clip 0.mp4"));  // not under its name while unfinished
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    // A kept unfinished file is given its name; nothing hidden stays.
    EXPECT_EQ(Entries(out), keepPartial ? std::vector<std::string>{"clip 0.mp4"} : std::vector<std::string>{});
    EXPECT_EQ(test::ProcessesMentioning(out), 0);
  }
}

TEST(ConvertCli, HowEverTheProgramEndsTheEngineEndsWithinTwoSeconds) {
  for (int signal : {SIGHUP, SIGTERM, SIGKILL}) {
    SCOPED_TRACE(strsignal(signal));
    std::string out = test::MakeTempDir("out");
    pid_t pid = SpawnConvert({"--profile", kFullHd, "-o", out, LongClip()});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(EngineWriting(out)) << "the conversion never started writing";
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    if (signal != SIGKILL) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;  // taken as a cancel
    }
    EXPECT_TRUE(Within(std::chrono::seconds(2), [&] { return test::ProcessesMentioning(out) == 0; }))
        << "trancor or ffmpeg outlived the program";
    EXPECT_TRUE(Within(std::chrono::seconds(2), [&] { return Entries(out).empty(); }))
        << ::testing::PrintToString(Entries(out));
  }
}

// The process id of a program that has ended.
pid_t EndedProcessId() {
  pid_t pid = -1;
  char* argv[] = {const_cast<char*>("/bin/true"), nullptr};
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) return -1;
  waitpid(pid, nullptr, 0);
  return pid;
}

// Runs killed with -9 leave their hidden unfinished files behind: the
// program at several moments of a conversion, and a run killed after its
// engine had finished, before the file got its name. The next batch in that
// folder removes them; the file of a run that still goes and the user's own
// hidden files stay.
TEST(ConvertCli, UnfinishedFilesOfKilledRunsGoAtTheNextBatchInTheirFolder) {
  std::string out = test::MakeTempDir("out");
  std::string clip = Clips(1)[0];
  for (int afterMs : {0, 300}) {
    pid_t pid = SpawnConvert({"--profile", kFullHd, "-o", out, LongClip()});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(EngineWriting(out));
    std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_TRUE(Within(std::chrono::seconds(5), [&] { return test::ProcessesMentioning(out) == 0; }));
  }
  test::CommandResult finished = test::RunCommand(
      {"sh", "-c", "cp \"$1\" \"$2/.clip 0.partial-$$-1.mp4\" && kill -9 $$", "sh", clip, out});
  ASSERT_NE(finished.exitCode, 0);
  const std::string live = ".clip 0.partial-" + std::to_string(getpid()) + "-1.mp4";
  const std::string ended = ".clip 0.partial-" + std::to_string(EndedProcessId()) + "-2.mp4";
  for (const std::string& name : {live, ended, std::string(".notes.partial-draft.txt")})
    test::WriteFile(out + "/" + name, "kept?");
  test::CommandResult r = Convert({"--profile", kAvi, "-o", out}, {clip});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> left = Entries(out);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{live, ".notes.partial-draft.txt", "clip 0.avi"}));
}

TEST(ConvertCli, SourcesOfOneNameGetOutputsOfTheirOwn) {
  std::string dir = test::MakeTempDir("sources");
  test::GenerateClip(dir + "/a.avi", {.seconds = 1, .width = 64, .height = 48});
  test::GenerateClip(dir + "/a.mkv", {.seconds = 2, .width = 64, .height = 48});
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = Convert({"--profile", kAvi, "-o", out}, {dir + "/a.avi", dir + "/a.mkv"});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NEAR(test::ProbeWithFfprobe(out + "/a.avi").durationSeconds, 1.0, 0.2);
  EXPECT_NEAR(test::ProbeWithFfprobe(out + "/a (2).avi").durationSeconds, 2.0, 0.2);
}

TEST(ConvertCli, AnyReadableFileNamedOnTheCommandLineIsTaken) {
  std::string dir = test::MakeTempDir("sources");
  const struct {
    const char* name;
    test::ClipSpec shape;
  } sources[] = {
      {"clip.webm", {.seconds = 0.5, .width = 64, .height = 48}},
      {"tone.wav", {.seconds = 0.5, .video = false}},
      {"clip.ogv", {.seconds = 0.5, .width = 64, .height = 48}},
      {"clip.3gp", {.seconds = 0.5, .width = 176, .height = 144, .audio = false}},
  };
  std::vector<std::string> files;
  for (const auto& source : sources) {
    files.push_back(dir + "/" + source.name);
    test::GenerateClip(files.back(), source.shape);
  }
  files.push_back(dir);  // a folder is skipped, and said so
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = Convert({"--profile", kAvi, "-o", out}, files);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("skipped " + dir + " (a folder)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Converted successfully!"), std::string::npos) << r.output;
  for (const char* name : {"clip.avi", "tone.avi", "clip (2).avi", "clip (3).avi"}) {
    test::ProbeFacts facts = test::ProbeWithFfprobe(out + "/" + name);
    EXPECT_GT(facts.durationSeconds, 0.3) << name;
    EXPECT_EQ(facts.video.present ? facts.video.codec : facts.audio.codec,
              std::string(name) == "tone.avi" ? "mp3" : "mpeg4") << name;
  }
}

// A full output folder: a small file system of its own, mounted in a private
// mount namespace (a user namespace too, so no privileges are needed), with
// the conversion run inside it and the folder listed before it vanishes.
TEST(ConvertCli, AFullOutputFolderFailsTheJobAndLeavesNoFile) {
  std::string clip = Clips(1, 2)[0];
  std::string out = test::MakeTempDir("small disk");
  const char* script =
      "mount -t tmpfs -o size=64k tmpfs \"$1\" || exit 99\n"
      "echo MOUNTED\n"
      "\"$2\" convert --yes --profile \"$3\" -o \"$1\" \"$4\"; rc=$?\n"
      "echo \"LEFT:$(ls -A \"$1\")|\"\n"
      "exit $rc\n";
  test::CommandResult r =
      test::RunCommand({"unshare", "-rm", "sh", "-c", script, "sh", out, kCli, kAvi, clip});
  if (r.output.find("MOUNTED") == std::string::npos)
    GTEST_SKIP() << "no private mount namespace for a small file system here:\n" << r.output;
  EXPECT_EQ(r.exitCode, 1) << r.output;
  EXPECT_NE(r.output.find("Converted 0 of 1 file."), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("LEFT:|"), std::string::npos) << r.output;
}

// A program folder holding mivora-cli and, as asked, a trancor that cannot run.
std::string FolderWithEngine(const char* engineState) {
  std::string folder = test::MakeTempDir("program");
  std::filesystem::copy_file(kCli, folder + "/mivora-cli");
  std::filesystem::permissions(folder + "/mivora-cli", std::filesystem::perms::owner_all);
  if (std::string(engineState) == "not executable") {
    std::filesystem::copy_file(std::string(MIVORA_PROGRAM_DIR) + "/trancor", folder + "/trancor");
    std::filesystem::permissions(folder + "/trancor", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write);
  }
  return folder + "/mivora-cli";
}

TEST(ConvertCli, AnEngineThatCannotRunIsNamed) {
  std::string clip = Clips(1, 0.5)[0];
  const struct {
    std::string cli;
    std::vector<std::string> environment;
    const char* message;
  } rows[] = {
      {kCli, {"PATH=/nonexistent"}, "ffmpeg is not installed or cannot be started"},
      {FolderWithEngine("missing"), {}, "trancor: No such file or directory"},
      {FolderWithEngine("not executable"), {}, "trancor: Permission denied"},
  };
  for (const auto& row : rows) {
    std::string out = test::MakeTempDir("out");
    for (std::vector<std::string> command :
         {std::vector<std::string>{"probe", clip},
          std::vector<std::string>{"convert", "--verbose", "--profile", kAvi, "-o", out, clip}}) {
      command.insert(command.begin(), row.cli);
      command.insert(command.begin(), row.environment.begin(), row.environment.end());
      command.insert(command.begin(), "/usr/bin/env");
      test::CommandResult r = test::RunCommand(command);
      EXPECT_EQ(r.exitCode, 1) << r.output;
      // The probe tells the engine's words; convert tells a person's, and the
      // engine's only when asked (--verbose).
      EXPECT_NE(r.output.find(row.message), std::string::npos) << command[1] << ": " << r.output;
      if (command[2] == "convert")
        EXPECT_NE(r.output.find(FailureMessage(FailureKind::kEngineCannotStart)), std::string::npos) << r.output;
      EXPECT_EQ(r.output.find("duration="), std::string::npos) << r.output;
    }
    EXPECT_TRUE(Entries(out).empty());
  }
}

}  // namespace
}  // namespace mivora
