// mivora-cli adjust, run as a program from a program folder of its own.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/adjust/AdjustTestFiles.h"
#include "tests/support/TestMedia.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

// A program folder with mivora-cli and a copy of the shipped profiles.
std::string MakeProgramFolder() {
  std::string folder = test::MakeTempDir("program");
  fs::copy_file(MIVORA_PROGRAM_DIR "/mivora-cli", folder + "/mivora-cli");
  fs::copy(MIVORA_SOURCE_PROFILES, folder + "/Profiles", fs::copy_options::recursive);
  return folder;
}

bool Contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

TEST(AdjustCli, ShowsTheListsAndWritesTheChosenPositions) {
  std::string folder = MakeProgramFolder();
  std::string cli = folder + "/mivora-cli";
  std::string path = folder + "/Profiles/" + test::kAviProfile;
  auto shown = test::RunCommand({cli, "adjust", path});
  EXPECT_EQ(shown.exitCode, 0) << shown.output;
  EXPECT_TRUE(Contains(shown.output, "VideoBitrate: position 3, \"1200\"\n")) << shown.output;
  EXPECT_TRUE(Contains(shown.output, "  * 3 1200\n    4 1500\n")) << shown.output;
  EXPECT_TRUE(Contains(shown.output, "VideoFrameRate: position 0, \"Keep Original\"")) << shown.output;

  auto saved = test::RunCommand({cli, "adjust", path, "VideoBitrate=6", "AudioBitrate=5", "--show"});
  EXPECT_EQ(saved.exitCode, 0) << saved.output;
  EXPECT_TRUE(saved.output.starts_with("saved " + path + "\n")) << saved.output;
  EXPECT_TRUE(Contains(saved.output, "AudioBitrate: position 5, \"256\"")) << saved.output;
  auto args = test::RunCommand({cli, "args", path});
  EXPECT_TRUE(Contains(args.output, "-b 3000k")) << args.output;
  EXPECT_TRUE(Contains(args.output, "-ab 256k")) << args.output;
}

TEST(AdjustCli, BadChoicesChangeNothing) {
  std::string folder = MakeProgramFolder();
  std::string path = folder + "/Profiles/" + test::kAviProfile;
  std::string before = test::ReadFile(path);
  const std::vector<std::string> cases[] = {
      {"VideoBitrate=99"}, {"VideoBitrate=-1"}, {"VideoBitrate=x"}, {"VideoBitrate"},
      {"Bogus=1"},         {"VideoCodec=1", "VideoBitrateList=1"},  {"VideoBitrate=99999999999"}};
  for (const auto& choice : cases) {
    std::vector<std::string> argv = {folder + "/mivora-cli", "adjust", path};
    argv.insert(argv.end(), choice.begin(), choice.end());
    auto result = test::RunCommand(argv);
    EXPECT_EQ(result.exitCode, 2) << choice.back() << ": " << result.output;
    EXPECT_EQ(test::ReadFile(path), before) << choice.back();
  }
  EXPECT_EQ(test::RunCommand({folder + "/mivora-cli", "adjust", folder + "/none.xml"}).exitCode, 1);
  EXPECT_EQ(test::RunCommand({folder + "/mivora-cli", "adjust"}).exitCode, 2);
}

TEST(AdjustCli, ReadOnlyProgramFolderIsNeverWritten) {
  std::string folder = MakeProgramFolder();
  std::string home = test::MakeTempDir("home");
  for (fs::path p = home; p != fs::path(test::TestRoot()).parent_path(); p = p.parent_path())
    chmod(p.c_str(), p == fs::path(home) ? 0777 : 0755);
  chmod(folder.c_str(), 0755);
  for (const auto& entry : fs::recursive_directory_iterator(folder + "/Profiles"))
    chmod(entry.path().c_str(), entry.is_directory() ? 0555 : 0444);
  chmod((folder + "/Profiles").c_str(), 0555);

  // As an unprivileged user when the tests run as root, who may write anywhere.
  auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> argv;
    if (geteuid() == 0) argv = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    argv.push_back("env");
    for (std::string name : {"HOME=", "XDG_CONFIG_HOME=", "TMPDIR="}) argv.push_back(name + home);
    argv.push_back(folder + "/mivora-cli");
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunCommand(argv);
  };
  std::string shipped = folder + "/Profiles/" + test::kAviProfile;
  std::string before = test::ReadFile(shipped);
  auto result = run({"adjust", shipped, "VideoBitrate=0"});
  std::string copy = home + "/Mivora/Profiles/" + test::kAviProfile;
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "saved " + copy + "\n");
  EXPECT_EQ(test::ReadFile(shipped), before);
  EXPECT_EQ(test::AttributeOf(copy, "VideoBitrate", "value"), "500");

  // The profile's identifier reaches the same copy.
  auto listing = run({"profiles"});
  std::string id;
  for (size_t at = 0; at < listing.output.size();) {
    size_t end = listing.output.find('\n', at);
    std::string line = listing.output.substr(at, end - at);
    if (Contains(line, "AVI - Audio Video Interleaved")) id = line.substr(0, line.find('\t'));
    at = end == std::string::npos ? end : end + 1;
  }
  ASSERT_FALSE(id.empty()) << listing.output;
  EXPECT_TRUE(Contains(run({"args", id}).output, "-b 500k"));
  EXPECT_EQ(run({"adjust", id, "AudioBitrate=0"}).exitCode, 0);
  EXPECT_EQ(test::AttributeOf(copy, "AudioBitrate", "value"), "64");
  EXPECT_EQ(test::ReadFile(shipped), before);
  for (const auto& entry : fs::recursive_directory_iterator(folder + "/Profiles"))
    if (entry.is_directory()) chmod(entry.path().c_str(), 0755);
  chmod((folder + "/Profiles").c_str(), 0755);
}

}  // namespace
}  // namespace mivora
