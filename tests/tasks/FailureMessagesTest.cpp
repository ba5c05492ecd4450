// Each failure a person can meet, through mivora-cli and the real engine:
// the message says which file, what happened and what to do, and the
// engine's own lines stay out of it (they are in the log, and on the
// terminal with --verbose).

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Folders.h"
#include "pipeline/JobFailure.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kProfiles = std::string(MIVORA_PROGRAM_DIR) + "/Profiles";
const std::string kAvi = kProfiles + "/General Video/AVI - MPEG-4 Video.xml";
const std::string kMp3 = kProfiles + "/Audio/MP3 - MPEG Layer-3 Audio.xml";

std::string Clip(const std::string& name, test::ClipSpec shape = {.seconds = 1, .width = 160, .height = 120}) {
  std::string path = test::MakeTempDir("sources") + "/" + name;
  test::GenerateClip(path, shape);
  return path;
}

test::CommandResult Convert(const std::string& profile, const std::string& folder,
                            const std::string& file, std::vector<std::string> more = {}) {
  std::vector<std::string> argv = {kCli, "convert", "--profile", profile, "-o", folder};
  argv.insert(argv.end(), more.begin(), more.end());
  argv.push_back(file);
  return test::RunCommand(argv);
}

// The batch's report line for `file` is `kind`'s message, the row says
// Failed, and no line of the engine's own is shown.
void ExpectMessage(const test::CommandResult& r, const std::string& file, FailureKind kind,
                   const std::string& extension = "avi") {
  EXPECT_EQ(r.exitCode, 1) << r.output;
  std::string name(BaseName(file));
  EXPECT_NE(r.output.find(name + ": " + FailureMessage(kind, extension)), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("] Failed  " + name), std::string::npos) << r.output;
  for (const char* engineWord : {"trancor", "ffmpeg @", "Output #0", "Conversion failed", "file:"})
    EXPECT_EQ(r.output.find(engineWord), std::string::npos) << engineWord << "\n" << r.output;
}

// A small file system for the output folder (root only): `options` as mount's.
class TinyFolder {
 public:
  explicit TinyFolder(const char* options) : path_(test::MakeTempDir("tiny")) {
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options) == 0;
  }
  ~TinyFolder() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST(FailureMessages, NoSoundForAnAudioProfile) {
  std::string silent = Clip("silent film.mp4", {.seconds = 1, .width = 160, .height = 120, .audio = false});
  ExpectMessage(Convert(kMp3, test::MakeTempDir("out"), silent), silent, FailureKind::kNoSound);
}

// The sound is kept in the format asked for, and the report says so.
TEST(FailureMessages, NoPictureForAVideoProfile) {
  std::string song = Clip("song.wav", {.seconds = 1, .video = false});
  std::string out = test::MakeTempDir("out");
  test::CommandResult r = Convert(kAvi, out, song);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("Converted successfully!\nsong.wav: " + SoundOnlyNote("avi")), std::string::npos)
      << r.output;
  test::ProbeFacts facts = test::ProbeWithFfprobe(out + "/song.avi");
  EXPECT_FALSE(facts.video.present);
  EXPECT_EQ(facts.audio.codec, "mp3");
}

TEST(FailureMessages, ADamagedSource) {
  std::string whole = Clip("whole.mp4");
  std::string damaged = test::MakeTempDir("sources") + "/holiday.mp4";
  test::WriteFile(damaged, test::ReadFile(whole).substr(0, 3000));  // the index is cut off
  test::CommandResult r = Convert(kAvi, test::MakeTempDir("out"), damaged);
  ExpectMessage(r, damaged, FailureKind::kSourceDamaged);
  // Asked for, the engine's own words come too.
  test::CommandResult verbose = Convert(kAvi, test::MakeTempDir("out"), damaged, {"--verbose"});
  EXPECT_NE(verbose.output.find("holiday.mp4: [mov,mp4"), std::string::npos) << verbose.output;
  EXPECT_NE(verbose.output.find("Invalid data found when processing input"), std::string::npos);
}

TEST(FailureMessages, AnOutputFolderThatCannotBeMade) {
  std::string blocker = test::MakeTempDir("out") + "/a file";
  test::WriteFile(blocker, "x");
  std::string clip = Clip("clip.mp4");
  ExpectMessage(Convert(kAvi, blocker + "/converted", clip), clip, FailureKind::kOutputFolderMissing);
}

TEST(FailureMessages, AnOutputFolderThatMayNotBeWritten) {
  std::string clip = Clip("clip.mp4");
  if (geteuid() != 0) {
    std::string folder = test::MakeTempDir("out");
    chmod(folder.c_str(), 0555);
    ExpectMessage(Convert(kAvi, folder, clip), clip, FailureKind::kOutputNotWritable);
    chmod(folder.c_str(), 0755);
    return;
  }
  TinyFolder readOnly("ro,size=1m");  // root may write anywhere but on a read-only mount
  if (!readOnly.Mounted()) GTEST_SKIP() << "cannot mount a read-only folder here";
  ExpectMessage(Convert(kAvi, readOnly.Path(), clip), clip, FailureKind::kOutputNotWritable);
}

TEST(FailureMessages, AFullOutputDisk) {
  TinyFolder full("size=64k");
  if (!full.Mounted()) GTEST_SKIP() << "mounting a small folder needs root";
  std::string clip = Clip("big.mp4", {.seconds = 4, .width = 640, .height = 480});
  // The estimate (about 660 KB) warns first, and without a terminal the answer is No...
  test::CommandResult asked = Convert(kAvi, full.Path(), clip);
  EXPECT_NE(asked.output.find("There is not enough free space"), std::string::npos) << asked.output;
  EXPECT_NE(asked.output.find("The batch was stopped for lack of free space."), std::string::npos);
  // ...going on anyway fills the disk.
  ExpectMessage(Convert(kAvi, full.Path(), clip, {"--yes"}), clip, FailureKind::kOutputFull);
}

TEST(FailureMessages, ACodecTheFormatCannotHold) {
  // An MP4 profile adjusted to the Windows Media video codec.
  std::string profile = test::MakeTempDir("profile") + "/WMV in MP4.xml";
  std::string text = test::ReadFile(kProfiles + "/General Video/MP4 - MPEG-4 Video.xml");
  for (std::string from : {"value=\"MPEG4,H.264\"", "value=\"MPEG4\""})
    text.replace(text.find(from), from.size(), "value=\"WMV8\"");
  test::WriteFile(profile, text);
  std::string clip = Clip("clip.mp4");
  ExpectMessage(Convert(profile, test::MakeTempDir("out"), clip), clip, FailureKind::kCodecNotInContainer,
                "mp4");
}

TEST(FailureMessages, AnEngineThatCannotStart) {
  std::string clip = Clip("clip.mp4");
  // ffmpeg cannot be found: the command line says so before converting.
  test::CommandResult r = test::RunCommand(
      {"/usr/bin/env", "PATH=/nonexistent", kCli, "convert", "--profile", kAvi, "-o", test::MakeTempDir("out"), clip});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find(FailureMessage(FailureKind::kEngineCannotStart)), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("trancor"), std::string::npos) << r.output;
}

TEST(FailureMessages, AProfileByNameByPathInsideTheFolderOrByFile) {
  std::string clip = Clip("clip.mp4", {.seconds = 1, .width = 160, .height = 120});
  const std::vector<std::string> names = {
      "General Video/AVI - Audio Video Interleaved.xml",  // the guide's own example
      "General Video/AVI - Audio Video Interleaved",
      "avi - audio video interleaved",
      kProfiles + "/General Video/AVI - Audio Video Interleaved.xml",
  };
  for (const std::string& name : names) {
    std::string out = test::MakeTempDir("out");
    test::CommandResult r = Convert(name, out, clip);
    EXPECT_EQ(r.exitCode, 0) << name << "\n" << r.output;
    EXPECT_TRUE(FileExists(out + "/clip.avi")) << name;
  }
  test::CommandResult unknown = Convert("No Such Profile", test::MakeTempDir("out"), clip);
  EXPECT_NE(unknown.output.find("no profile file, profile path or profile name \"No Such Profile\""),
            std::string::npos)
      << unknown.output;
}

}  // namespace
}  // namespace mivora
