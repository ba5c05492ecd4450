#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <iterator>

#include "common/Folders.h"
#include "settings/ConfigXml.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using Dirs = std::vector<std::string>;

Dirs RecentOf(const CConfigXml& config) {
  Dirs dirs;
  config.GetRecentDirs(dirs);
  return dirs;
}

TEST(CConfigXml, SaveWritesTheDocumentedFormatAndReloads) {
  std::string path = test::MakeTempDir("cfg") + "/config.xml";
  CConfigXml config;
  Dirs dirs = {"/home/zoë/Out", "/srv/videos & more <new>"};
  config.SetRecentDirs(&dirs);
  config.SetLastProfileId("12");
  ASSERT_TRUE(config.SaveConfig(path));
  EXPECT_EQ(test::ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<config>\n"
            "    <recent>\n"
            "        <dir path=\"/home/zoë/Out\"/>\n"
            "        <dir path=\"/srv/videos &amp; more &lt;new&gt;\"/>\n"
            "        <xml path=\"12\"/>\n"
            "    </recent>\n"
            "</config>\n");
  CConfigXml reloaded;
  ASSERT_TRUE(reloaded.LoadConfig(path));
  EXPECT_EQ(RecentOf(reloaded), dirs);
  EXPECT_EQ(reloaded.GetLastProfileId(), "12");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "the user's folders are nobody else's business";
}

TEST(CConfigXml, LoadHonoursElementsAtAnyDepthAndTheFirstProfileId) {
  std::string path = test::MakeTempDir("cfg") + "/config.xml";
  test::WriteFile(path,
                  "<?xml version=\"1.0\"?>\r\n<anything>\r\n"
                  "<dir path=\"/a\"/>\r\n"
                  "<x><y><dir path=\"/b\" other=\"1\"/><xml path=\"\"/></y></x>\r\n"
                  "<recent><xml path=\"7\"/><xml path=\"9\"/><dir path=\"Default\"/></recent>\r\n"
                  "</anything>\r\n");
  CConfigXml config;
  ASSERT_TRUE(config.LoadConfig(path));
  EXPECT_EQ(RecentOf(config), (Dirs{"/a", "/b", "Default"}));
  EXPECT_EQ(config.GetLastProfileId(), "7");
}

TEST(CConfigXml, ConversionsAtOnceAreKeptAndNonsenseIsNotAChoice) {
  std::string path = test::MakeTempDir("cfg") + "/config.xml";
  CConfigXml config;
  config.SetConversionsAtOnce(3);
  ASSERT_TRUE(config.SaveConfig(path));
  EXPECT_NE(test::ReadFile(path).find("<batch conversionsAtOnce=\"3\"/>"), std::string::npos);
  CConfigXml reloaded;
  ASSERT_TRUE(reloaded.LoadConfig(path));
  EXPECT_EQ(reloaded.GetConversionsAtOnce(), 3);
  for (const char* value : {"0", "-2", "17", "many"}) {
    test::WriteFile(path, std::string("<config><batch conversionsAtOnce=\"") + value + "\"/></config>");
    ASSERT_TRUE(reloaded.LoadConfig(path));
    EXPECT_EQ(reloaded.GetConversionsAtOnce(), 0) << value;
  }
}

TEST(CConfigXml, BadFilesLeaveTheFieldsAlone) {
  std::string dir = test::MakeTempDir("cfg");
  CConfigXml config;
  Dirs dirs = {"/kept"};
  config.SetRecentDirs(&dirs);
  config.SetLastProfileId("3");
  test::WriteFile(dir + "/broken.xml", "<config><recent><dir path=\"/x\"></config>");
  test::WriteFile(dir + "/empty.xml", "");
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<a>";
  test::WriteFile(dir + "/deep.xml", deep);
  for (const char* name : {"/missing.xml", "/broken.xml", "/empty.xml", "/deep.xml"})
    EXPECT_FALSE(config.LoadConfig(dir + name)) << name;
  EXPECT_EQ(RecentOf(config), dirs);
  EXPECT_EQ(config.GetLastProfileId(), "3");
}

TEST(CConfigXml, FailedSaveKeepsTheOldFileWhole) {
  std::string dir = test::MakeTempDir("cfg");
  std::string path = dir + "/config.xml";
  CConfigXml config;
  config.SetLastProfileId("5");
  ASSERT_TRUE(config.SaveConfig(path));
  std::string before = test::ReadFile(path);
  // The new file cannot be written whole (files may not grow beyond 10
  // bytes now): the save fails, the old file stays as it was and nothing is
  // left beside it.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_IGN);
  const rlimit tiny{10, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  config.SetLastProfileId("6");
  const bool saved6 = config.SaveConfig(path);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(saved6);
  EXPECT_EQ(test::ReadFile(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  EXPECT_FALSE(CConfigXml().SaveConfig(dir + "/no/such/folder/config.xml"));
}

}  // namespace
}  // namespace mivora
