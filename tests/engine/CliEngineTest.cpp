// mivora-cli's probe and demo commands, run as a user runs them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";

// `expected` with "#" standing for one or more digits.
bool MatchesWithDigits(const std::string& text, const std::string& expected) {
  size_t t = 0;
  for (char e : expected) {
    if (e == '#') {
      size_t start = t;
      while (t < text.size() && std::isdigit(static_cast<unsigned char>(text[t]))) ++t;
      if (t == start) return false;
    } else if (t >= text.size() || text[t++] != e) {
      return false;
    }
  }
  return t == text.size();
}

TEST(CliProbe, PrintsABlockPerFileInTheGivenOrder) {
  std::string folder = test::MakeTempDir("cli");
  std::string clip = folder + "/-clip with 'odd' name.avi";
  test::ClipSpec shape;
  shape.seconds = 1;
  shape.width = 160;
  shape.height = 120;
  test::GenerateClip(clip, shape);
  std::string other = folder + "/other.mkv";
  shape.width = 176;
  shape.height = 144;
  shape.audio = false;
  test::GenerateClip(other, shape);
  test::WriteFile(folder + "/notes.txt", "not a video\n");
  const std::string clipBlock =
      "file=" + clip + "\nduration=00:00:01\nvideoCodec=mpeg4 \nbitrate=#\nwidth=160\nheight=120\n"
      "displayAspect=4:3\nframeRate=\naudioCodec=mp3\nsampleRate=44100\naudioBitrate=#\n";
  const std::string otherBlock =
      "file=" + other + "\nduration=00:00:01\nvideoCodec=h264 \nbitrate=#\nwidth=176\nheight=144\n"
      "displayAspect=11:9\nframeRate=\naudioCodec=\nsampleRate=\naudioBitrate=\n";
  const std::string notesBlock =
      "file=" + folder + "/notes.txt\nduration=\nvideoCodec=\nbitrate=\nwidth=\nheight=\ndisplayAspect=\n"
      "frameRate=\naudioCodec=\nsampleRate=\naudioBitrate=\n";
  struct Case {
    std::vector<std::string> paths;
    int exitCode;
    std::string pattern;
  };
  const Case cases[] = {
      {{clip}, 0, clipBlock},
      {{folder + "/notes.txt"}, 1, notesBlock},
      // Many files in one call; one without facts makes the whole call fail.
      {{other, clip, other}, 0, otherBlock + "\n" + clipBlock + "\n" + otherBlock},
      {{clip, folder + "/notes.txt", other}, 1, clipBlock + "\n" + notesBlock + "\n" + otherBlock},
  };
  for (const Case& c : cases) {
    std::vector<std::string> command = {kCli, "probe"};
    command.insert(command.end(), c.paths.begin(), c.paths.end());
    test::CommandResult r = test::RunCommand(command);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
    EXPECT_TRUE(MatchesWithDigits(r.output, c.pattern))
        << "got:\n" << r.output;
  }
  EXPECT_EQ(test::RunCommand({kCli, "probe"}).exitCode, 2);
}

TEST(CliDemo, ConvertsAGeneratedClipWithTheInitialProfile) {
  std::string out = test::MakeTempDir("demo-out");
  test::CommandResult r = test::RunCommand({kCli, "demo", "-o", out});
  ASSERT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("AVI - Audio Video Interleaved"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("100%"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Converted successfully!"), std::string::npos) << r.output;
  size_t at = r.output.find("wrote ");
  ASSERT_NE(at, std::string::npos) << r.output;
  std::string path = r.output.substr(at + 6, r.output.find('\n', at) - at - 6);
  EXPECT_EQ(path, out + "/source clip.avi") << "the converted file stays in the folder asked for";
  test::ProbeFacts facts = test::ProbeWithFfprobe(path);
  EXPECT_EQ(facts.video.codec, "mpeg4");  // Xvid writes MPEG-4 Part 2
  EXPECT_EQ(facts.video.width, 640);
  EXPECT_EQ(facts.audio.codec, "mp3");
}

// Names of a folder's entries.
std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CliDemo, WorksInAPrivateFolderAndLeavesNothingBehind) {
  // Someone else got to the shared temporary folder first: a link to a folder
  // of theirs, or a folder this user may not write to, under the name a
  // fixed-name demo would use.
  struct Case {
    const char* name;
    bool link;
  } cases[] = {{"a link planted under the demo's old name", true},
               {"another user's folder under the demo's old name", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string tmp = test::MakeTempDir("shared-tmp");
    std::string theirs = test::MakeTempDir("theirs");
    if (c.link) {
      ASSERT_EQ(::symlink(theirs.c_str(), (tmp + "/mivora-demo").c_str()), 0);
    } else {
      ASSERT_EQ(::mkdir((tmp + "/mivora-demo").c_str(), 0755), 0);
      ASSERT_EQ(::chmod((tmp + "/mivora-demo").c_str(), 0555), 0);
    }
    test::CommandResult r = test::RunCommand({"/usr/bin/env", "TMPDIR=" + tmp, kCli, "demo"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Converted successfully!"), std::string::npos) << r.output;
    EXPECT_TRUE(Entries(theirs).empty()) << "nothing written through their link";
    EXPECT_EQ(Entries(tmp), std::vector<std::string>{"mivora-demo"}) << "no temporary file or folder is left";
    ::chmod((tmp + "/mivora-demo").c_str(), 0755);
  }
}

// A demonstration killed with -9, while it makes its clip or while it
// converts, leaves its temporary folder; the next start of the program
// (another demonstration, or any command) removes it. The folder of a program that still runs, and a link under such
// a name, are left alone.
TEST(CliDemo, TheFolderOfAKilledDemoGoesAtTheNextStart) {
  std::string tmp = test::MakeTempDir("shared-tmp");
  ChildOptions options;
  options.environment = {"TMPDIR=" + tmp};
  // How many files lie at any depth in the folder of process `pid`
  // ("mivora-PID-XXXXXX"); 0 while it has none.
  auto filesOf = [&tmp](int pid) {
    const std::string prefix = "mivora-" + std::to_string(pid) + "-";
    size_t files = 0;
    for (const std::string& name : Entries(tmp)) {
      if (name.rfind(prefix, 0) != 0) continue;
      ++files;
      std::error_code error;
      for (auto it = std::filesystem::recursive_directory_iterator(tmp + "/" + name, error);
           !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        ++files;
    }
    return files;
  };
  // Killed as its folder appears, and once the clip is being made in it (a
  // fixed wait could outlast the whole demonstration on a fast machine).
  for (size_t filesBeforeKill : {1u, 3u}) {
    auto demo = ChildProcess::Start({kCli, "demo"}, options);
    ASSERT_TRUE(demo);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (filesOf(demo->Pid()) < filesBeforeKill && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    demo->Signal(SIGKILL);
    demo->Wait();
    // Its folder stays; the one an earlier killed demo left went as it started.
    ASSERT_EQ(Entries(tmp).size(), 1u) << ::testing::PrintToString(Entries(tmp));
  }
  const std::string live = "mivora-" + std::to_string(::getpid()) + "-LiveAb";
  ASSERT_EQ(::mkdir((tmp + "/" + live).c_str(), 0700), 0);
  auto ended = ChildProcess::Start({"/bin/true"}, ChildOptions{});
  ASSERT_TRUE(ended);
  const std::string link = "mivora-" + std::to_string(ended->Pid()) + "-LinkAb";
  ended->Wait();
  std::string theirs = test::MakeTempDir("theirs");
  test::WriteFile(theirs + "/kept", "x");
  ASSERT_EQ(::symlink(theirs.c_str(), (tmp + "/" + link).c_str()), 0);
  test::CommandResult r = test::RunCommand({"/usr/bin/env", "TMPDIR=" + tmp, kCli, "profiles"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::vector<std::string> kept = {link, live};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(Entries(tmp), kept);
  EXPECT_EQ(Entries(theirs), std::vector<std::string>{"kept"});
}

}  // namespace
}  // namespace mivora
