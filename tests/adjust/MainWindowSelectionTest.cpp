// Which item the main window's profile controls follow as the selection of
// the source list changes, on a private profile folder and a real config.xml.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/adjust/AdjustTestFiles.h"
#include "windowmodels/MainWindowModel.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

class MainWindowSelection : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempDir("profiles");
    fs::copy(MIVORA_SOURCE_PROFILES, folder_, fs::copy_options::recursive);
    model_ = std::make_unique<MainWindowModel>(test::MakeTempDir("user"), nullptr, nullptr, folder_);
    model_->LoadSettings();
    model_->OnStartupTimer(0);
  }
  std::string Path(const std::string& relative) const { return folder_ + "/" + relative; }
  int32_t IdOf(const std::string& relative) {
    for (const ProfileEntry& entry : model_->Menu().Catalog().All())
      if (entry.path == Path(relative)) return entry.id;
    ADD_FAILURE() << relative;
    return 0;
  }
  void AddItem(const std::string& source, const std::string& relative, ParameterPositions indices = {}) {
    SourceItem item;
    item.sourcePath = source;
    item.profilePath = Path(relative);
    item.profileId = IdOf(relative);
    item.listIndices = indices;
    ASSERT_TRUE(model_->AppendItem(std::move(item)));
  }
  std::string SavedProfileId() {
    CConfigXml saved;
    EXPECT_TRUE(saved.LoadConfig(model_->ConfigPath()));
    return saved.GetLastProfileId();
  }
  const std::string& Name() { return model_->Panel().NameText(); }

  std::string folder_;
  std::unique_ptr<MainWindowModel> model_;
};

TEST_F(MainWindowSelection, ControlsFollowTheCurrentSelectedRowAndRestWithoutSelection) {
  AddItem("/a.mp4", test::kAviProfile);
  AddItem("/b.mp4", test::kMp3Profile);
  AddItem("/c.mp4", test::kMp3Profile, {0, 0, 0, 0, 0, 0, 6, 0, 0, 0});
  EXPECT_TRUE(model_->ProfileControlsEnabled());

  // The current row leads when it is selected, with its own positions.
  EXPECT_EQ(model_->OnSelectionChanged({0, 2}, 2), 2);
  EXPECT_EQ(Name(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(model_->Panel().AudioBitrates().ShownText(), "256 Kbps");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kMp3Profile)));
  // Extending the selection while the same file leads changes nothing.
  EXPECT_EQ(model_->OnSelectionChanged({0, 1, 2}, 2), -1);

  // A current row that is not selected (a Ctrl-click took it out): the
  // first selected row leads.
  EXPECT_EQ(model_->OnSelectionChanged({0, 1}, 2), 0);
  EXPECT_EQ(Name(), " AVI - Audio Video Interleaved");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kAviProfile)));

  EXPECT_EQ(model_->OnSelectionChanged({}, 1), -1);
  EXPECT_FALSE(model_->ProfileControlsEnabled());
  EXPECT_EQ(Name(), " AVI - Audio Video Interleaved");  // the profile stays current
  EXPECT_EQ(model_->OnSelectionChanged({1}, 1), 1);
  EXPECT_TRUE(model_->ProfileControlsEnabled());
  EXPECT_EQ(Name(), " MP3 - MPEG Layer-3 Audio");
}

TEST_F(MainWindowSelection, DeletingTheFollowedItemLetsTheNextSelectionLeadAgain) {
  AddItem("/a.mp4", test::kAviProfile);
  AddItem("/b.mp4", test::kMp3Profile);
  ASSERT_EQ(model_->OnSelectionChanged({1}, 1), 1);
  ASSERT_TRUE(model_->DeleteRow(1));
  model_->OnRowsDeleted(false);
  EXPECT_FALSE(model_->ProfileControlsEnabled());
  EXPECT_EQ(Name(), " MP3 - MPEG Layer-3 Audio");

  // The same file added again is another item to follow.
  AddItem("/b.mp4", test::kAviProfile);
  EXPECT_EQ(model_->OnSelectionChanged({1}, 1), 1);
  EXPECT_EQ(Name(), " AVI - Audio Video Interleaved");
  // A delete that leaves a row selected keeps the controls on.
  ASSERT_TRUE(model_->DeleteRow(0));
  model_->OnRowsDeleted(true);
  EXPECT_TRUE(model_->ProfileControlsEnabled());
  EXPECT_EQ(model_->OnSelectionChanged({0}, 0), -1);
}

}  // namespace
}  // namespace mivora
