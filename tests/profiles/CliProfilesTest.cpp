// mivora-cli profiles and args, run as a program from a program folder of its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "common/Folders.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

// A program folder with mivora-cli and a copy of the shipped profiles.
std::string MakeProgramFolder() {
  std::string folder = test::MakeTempDir("program");
  fs::copy_file(MIVORA_PROGRAM_DIR "/mivora-cli", folder + "/mivora-cli");
  fs::copy(MIVORA_PROGRAM_DIR "/Profiles", folder + "/Profiles", fs::copy_options::recursive);
  return folder;
}

// Identifier by relative path, from the listing.
std::map<std::string, std::string> ListIds(const std::string& folder) {
  auto result = test::RunCommand({folder + "/mivora-cli", "profiles"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  std::map<std::string, std::string> ids;
  std::istringstream lines(result.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
    EXPECT_EQ(fields.size(), 4u) << line;
    if (fields.size() != 4) continue;
    EXPECT_EQ(fields[3], folder + "/Profiles/" + fields[1] + "/" + fields[2] + ".xml");
    ids[fields[1] + "/" + fields[2]] = fields[0];
  }
  return ids;
}

TEST(CliProfiles, IdentifiersStayWhenAProfileIsAdded) {
  std::string folder = MakeProgramFolder();
  auto before = ListIds(folder);
  ASSERT_GE(before.size(), 40u);
  fs::copy_file(folder + "/Profiles/Audio/MP3 - MPEG Layer-3 Audio.xml",
                folder + "/Profiles/Audio/A First Profile.xml");
  fs::create_directories(folder + "/Profiles/AAA New Group");
  fs::copy_file(folder + "/Profiles/Audio/MP3 - MPEG Layer-3 Audio.xml",
                folder + "/Profiles/AAA New Group/x.xml");
  auto after = ListIds(folder);
  EXPECT_EQ(after.size(), before.size() + 2);
  for (const auto& [profile, id] : before) EXPECT_EQ(after[profile], id) << profile;
}

TEST(CliProfiles, ArgsPrintsTheFinishedArgumentsOfAPathOrAnIdentifier) {
  std::string folder = MakeProgramFolder();
  SetProgramFolder(folder);  // the same (absent) GPU probe as the program
  auto ids = ListIds(folder);
  for (const char* name : {"General Video/AVI - Audio Video Interleaved", "DVD VCD SVCD/DVD Video NTSC",
                           "Audio/MP3 - MPEG Layer-3 Audio", "HD Video/MP4 - H.264 HD 720p"}) {
    SCOPED_TRACE(name);
    std::string path = folder + "/Profiles/" + name + ".xml";
    Profile profile;
    ASSERT_TRUE(profile.Load(path));
    std::string expected =
        FinishEngineArguments(profile.BuildEngineArguments() + " ", profile.videoAspectRatio) + "\n";
    auto byPath = test::RunCommand({folder + "/mivora-cli", "args", path});
    EXPECT_EQ(byPath.exitCode, 0);
    EXPECT_EQ(byPath.output, expected);
    auto byId = test::RunCommand({folder + "/mivora-cli", "args", ids[name]});
    EXPECT_EQ(byId.output, expected);
  }
  SetProgramFolder(MIVORA_PROGRAM_DIR);
  EXPECT_EQ(test::RunCommand({folder + "/mivora-cli", "args",
                              folder + "/Profiles/General Video/AVI - Audio Video Interleaved.xml"})
                .output,
            "-b 1200k  -ab 128k  -ar 44100  -ac 2  -vol 256 -vcodec libxvid -acodec libmp3lame -s 640x480  \n");
  EXPECT_EQ(test::RunCommand({folder + "/mivora-cli", "args", folder + "/Profiles/DVD VCD SVCD/DVD Video NTSC.xml"}).output,
            "-target ntsc-dvd   -aspect 4:3\n");
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"args", "/no/such/profile.xml"}, {"args", "1"}, {"args", folder}, {"args"}}) {
    std::vector<std::string> argv{folder + "/mivora-cli"};
    argv.insert(argv.end(), bad.begin(), bad.end());
    auto result = test::RunCommand(argv);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(result.output.empty());
  }
}

}  // namespace
}  // namespace mivora
