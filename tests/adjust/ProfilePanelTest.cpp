// The main window's profile events on a private profile folder, a real
// config.xml and a source list.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "windowmodels/ProfilePanel.h"
#include "profiles/Profile.h"
#include "tests/adjust/AdjustTestFiles.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

class AdjustPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempDir("profiles");
    fs::copy(MIVORA_SOURCE_PROFILES, folder_, fs::copy_options::recursive);
    user_ = test::MakeTempDir("user");
    configPath_ = user_ + "/config.xml";
    Start();
  }
  // A fresh menu and panel, started as the window's first timer tick does.
  void Start() {
    menu_ = std::make_unique<ProfileMenu>(nullptr, nullptr, folder_);
    panel_ = std::make_unique<ProfilePanel>(*menu_, config_, configPath_, sources_);
    panel_->OnStartup(0, user_);
  }
  std::string Path(const std::string& relative) const { return folder_ + "/" + relative; }
  int32_t IdOf(const std::string& relative) {
    for (const ProfileEntry& entry : menu_->Catalog().All())
      if (entry.path == Path(relative)) return entry.id;
    ADD_FAILURE() << relative;
    return 0;
  }
  // An item as the file-adding step leaves it, without probing a file.
  void AddItem(const std::string& source, const std::string& relative, ParameterPositions indices) {
    SourceItem item;
    item.sourcePath = source;
    item.profilePath = Path(relative);
    item.profileId = IdOf(relative);
    item.engineArgs = "old";
    item.listIndices = indices;
    ASSERT_TRUE(sources_.Append(std::move(item)));
  }
  std::string SavedProfileId() {
    CConfigXml saved;
    EXPECT_TRUE(saved.LoadConfig(configPath_));
    return saved.GetLastProfileId();
  }

  std::string folder_, user_, configPath_;
  CConfigXml config_;
  SourceList sources_;
  std::unique_ptr<ProfileMenu> menu_;
  std::unique_ptr<ProfilePanel> panel_;
};

TEST_F(AdjustPanel, StartupShowsTheInitialOrTheLastProfile) {
  ProfilePanel& panel = *panel_;
  EXPECT_EQ(panel.NameText(), " AVI - Audio Video Interleaved");
  EXPECT_EQ(panel.EditCaption(), "avi");
  EXPECT_EQ(panel.CurrentVideoBitrateBps(), 1200 * 1024);
  EXPECT_EQ(panel.VideoBitrates().ShownText(), "1200 Kbps");
  EXPECT_EQ(panel.AudioBitrates().ShownText(), "128 Kbps");

  config_.SetLastProfileId(std::to_string(IdOf(test::kMp3Profile)));
  Start();
  EXPECT_EQ(panel_->NameText(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(panel_->EditCaption(), "mp3");
  EXPECT_EQ(panel_->VideoBitrates().Count(), 0u);
  EXPECT_EQ(panel_->AudioBitrates().Items().front(), "32 Kbps");
  EXPECT_EQ(panel_->CurrentVideoBitrateBps(), 0);
}

TEST_F(AdjustPanel, BitrateChangeWritesTheFileAndUpdatesOnlySelectedRows) {
  ProfilePanel& panel = *panel_;
  AddItem("/a.mp4", test::kAviProfile, {});
  AddItem("/b.mp4", test::kAviProfile, {});
  ASSERT_TRUE(panel.AudioBitrates().Select(5));
  ASSERT_TRUE(panel.VideoBitrates().Select(6));
  EXPECT_TRUE(panel.OnBitrateChanged({1}));

  std::string path = Path(test::kAviProfile);
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "value"), "256");
  EXPECT_EQ(test::AttributeOf(path, "VideoBitrateList", "index"), "6");
  EXPECT_EQ(panel.AudioBitrates().Selected(), 5);
  EXPECT_EQ(panel.CurrentVideoBitrateBps(), 3000 * 1024);
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kAviProfile)));
  EXPECT_EQ(sources_.At(0)->engineArgs, "old");
  SourceItem changed = *sources_.At(1);
  EXPECT_NE(changed.engineArgs.find("-ab 256k"), std::string::npos) << changed.engineArgs;
  EXPECT_EQ(changed.listIndices[kAudioBitrate], 5);
  EXPECT_EQ(changed.videoBitrateBps, 3000 * 1024);
  EXPECT_EQ(changed.targetExtension, "avi");
}

TEST_F(AdjustPanel, SourceClickShowsTheItemsOwnPositions) {
  ProfilePanel& panel = *panel_;
  AddItem("/a.mp4", test::kMp3Profile, {0, 0, 0, 0, 0, 0, 6, 0, 0, 0});
  panel.OnSourceClicked(-1);
  EXPECT_FALSE(panel.ControlsEnabled());
  panel.OnSourceClicked(0);
  EXPECT_TRUE(panel.ControlsEnabled());
  EXPECT_EQ(panel.NameText(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(panel.AudioBitrates().ShownText(), "256 Kbps");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kMp3Profile)));
  panel.OnSourceClicked(7);
  EXPECT_FALSE(panel.ControlsEnabled());
}

TEST_F(AdjustPanel, EditProfileAdjustsTheOneSelectedItemsFile) {
  ProfilePanel& panel = *panel_;
  AddItem("/a.mp4", test::kMp3Profile, {0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
  AddItem("/b.mp4", test::kMp3Profile, {});
  EditProfileTarget two = panel.OnEditProfile({0, 1});
  EXPECT_EQ(two.path, Path(test::kAviProfile));
  EXPECT_FALSE(two.preselection);
  EditProfileTarget one = panel.OnEditProfile({0});
  EXPECT_EQ(one.path, Path(test::kMp3Profile));
  ASSERT_TRUE(one.preselection);
  EXPECT_EQ((*one.preselection)[kAudioBitrate], 1);

  // OK on the current (AVI) profile, then the accepted step.
  AdjustProfileDialog dialog(two.path);
  dialog.OnInitDialog();
  dialog.List(kVideoBitrate).Select(0);
  dialog.List(kAudioBitrate).Select(6);
  ASSERT_TRUE(dialog.OnOK());
  EXPECT_TRUE(panel.OnEditProfileAccepted({0, 1}));
  EXPECT_EQ(panel.VideoBitrates().ShownText(), "500 Kbps");
  EXPECT_EQ(panel.AudioBitrates().ShownText(), "320 Kbps");
  for (size_t row : {0u, 1u}) {
    SourceItem item = *sources_.At(row);
    EXPECT_EQ(item.profilePath, Path(test::kAviProfile));
    EXPECT_NE(item.engineArgs.find("-b 500k"), std::string::npos) << item.engineArgs;
    EXPECT_EQ(item.targetExtension, "");  // the extension is not applied here
  }
}

}  // namespace
}  // namespace mivora
