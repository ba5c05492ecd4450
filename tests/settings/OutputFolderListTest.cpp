#include <gtest/gtest.h>

#include "common/Folders.h"
#include "settings/OutputFolderList.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

using Items = std::vector<std::string>;

class OutputFolders : public ::testing::Test {
 protected:
  std::string path_ = test::MakeTempDir("cfg") + "/config.xml";
  CConfigXml config_;
  OutputFolderList list_{config_, path_};

  Items Stored() {
    CConfigXml fresh;
    fresh.LoadConfig(path_);
    Items dirs;
    fresh.GetRecentDirs(dirs);
    return dirs;
  }
};

TEST_F(OutputFolders, FirstRunThenBrowsing) {
  list_.Fill(config_.LoadConfig(path_));
  EXPECT_TRUE(list_.Items().empty());
  EXPECT_EQ(list_.Selection(), OutputFolderList::kNoSelection);
  list_.Browse("/out/a");
  EXPECT_EQ(list_.Items(), (Items{"/out/a", "Clear List"}));
  EXPECT_EQ(list_.CurrentFolder(), "/out/a");
  list_.Browse("/out/b");
  list_.Browse("/out/a");  // again: moves to the top, no duplicate
  list_.Browse("/OUT/A");  // differs in case: a new entry
  EXPECT_EQ(list_.Items(), (Items{"/OUT/A", "/out/a", "/out/b", "Clear List"}));
  EXPECT_EQ(Stored(), (Items{"/OUT/A", "/out/a", "/out/b"}));
  list_.Browse("");  // cancelled picker
  EXPECT_EQ(Stored().size(), 3u);
}

TEST_F(OutputFolders, ChoosingMovesToTopAndClearListKeepsTheProfile) {
  config_.SetLastProfileId("42");
  Items dirs = {"/a", "/b", "/c"};
  config_.SetRecentDirs(&dirs);
  config_.SaveConfig(path_);
  list_.Fill(config_.LoadConfig(path_));
  list_.Choose(2);
  EXPECT_EQ(list_.Items(), (Items{"/c", "/a", "/b", "Clear List"}));
  EXPECT_EQ(list_.Selection(), 0);
  EXPECT_EQ(Stored(), (Items{"/c", "/a", "/b"}));
  list_.Choose(0);  // nothing changes
  list_.Choose(3);  // "Clear List"
  EXPECT_EQ(list_.Items(), (Items{"Clear List"}));
  EXPECT_EQ(list_.Selection(), OutputFolderList::kNoSelection);
  EXPECT_EQ(list_.CurrentFolder(), "");
  EXPECT_TRUE(Stored().empty());
  CConfigXml fresh;
  fresh.LoadConfig(path_);
  EXPECT_EQ(fresh.GetLastProfileId(), "42");
  list_.Browse("/d");
  EXPECT_EQ(list_.Items(), (Items{"/d", "Clear List"}));
}

TEST_F(OutputFolders, DefaultShowsTheVideosFolder) {
  Items dirs = {"Default", "/x"};
  config_.SetRecentDirs(&dirs);
  config_.SaveConfig(path_);
  list_.Fill(config_.LoadConfig(path_));
  EXPECT_EQ(list_.Items()[0], VideosFolder());
  // Picking that same path adds a second entry: the stored word differs.
  list_.Browse(VideosFolder());
  EXPECT_EQ(Stored(), (Items{VideosFolder(), "Default", "/x"}));
}

}  // namespace
}  // namespace mivora
