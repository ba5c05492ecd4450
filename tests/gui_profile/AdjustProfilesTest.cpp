// "Adjust profiles" opened from the main window's "Edit" button and driven as
// a user does, on a private copy of the shipped profiles.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/profile/CDlgAdjustProfiles.h"
#include "profiles/Profile.h"
#include "tests/gui_profile/GuiDriving.h"
#include "tests/gui_profile/ProfileBarFixture.h"
#include "tests/support/GuiTestSupport.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

class AdjustProfilesTest : public test::ProfileBarFixture {
 protected:
  // Clicks "Edit" and runs `use` on the dialog; true when it ended with OK.
  bool EditProfile(std::function<void(CDlgAdjustProfiles*)> use) {
    bool seen = false;
    test::WhenShown<CDlgAdjustProfiles>([&](CDlgAdjustProfiles* dialog) {
      seen = true;
      use(dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    QTest::mouseClick(bar_->EditButton(), Qt::LeftButton);
    EXPECT_TRUE(seen);
    return seen;
  }
  static QString Shown(CDlgAdjustProfiles* dialog, ProfileParameter parameter) {
    return dialog->List(parameter)->currentText();
  }
  static void Click(CDlgAdjustProfiles* dialog, const char* button) {
    QTest::mouseClick(dialog->findChild<QAbstractButton*>(button), Qt::LeftButton);
  }
};

TEST_F(AdjustProfilesTest, OkWritesEveryParameterAndTheMainWindowFollows) {
  std::string path = Path(test::kAviProfile);
  EditProfile([](CDlgAdjustProfiles* dialog) {
    EXPECT_EQ(dialog->windowTitle(), "Adjust profiles");
    EXPECT_EQ(Shown(dialog, kVideoCodec), "XviD");
    ASSERT_TRUE(test::PickInComboBox(*dialog->List(kVideoCodec), "MPEG4"));
    ASSERT_TRUE(test::PickInComboBox(*dialog->List(kAudioBitrate), "320"));
    Click(dialog, "okButton");
    EXPECT_FALSE(dialog->isVisible());
  });
  EXPECT_EQ(test::AttributeOf(path, "VideoCodec", "value"), "MPEG4");
  EXPECT_EQ(test::AttributeOf(path, "VideoCodecList", "index"), "1");
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "value"), "320");
  EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "index"), "6");
  for (int i = 0; i < kParameterCount; ++i) {
    SCOPED_TRACE(kScalarElementNames[i]);
    EXPECT_NE(test::AttributeOf(path, kScalarElementNames[i], "value"), "<none>");
    EXPECT_NE(test::AttributeOf(path, kScalarElementNames[i], "index"), "<none>");
    EXPECT_NE(test::AttributeOf(path, kListElementNames[i], "index"), "<none>");
  }
  Profile profile;
  ASSERT_TRUE(profile.Load(path));
  std::string arguments = profile.BuildEngineArguments();
  EXPECT_NE(arguments.find("-ab 320k"), std::string::npos) << arguments;
  EXPECT_EQ(bar_->AudioBitrates()->currentText(), "320 Kbps");
}

TEST_F(AdjustProfilesTest, CancelLeavesTheFileAsItWas) {
  std::string path = Path(test::kAviProfile);
  std::string before = test::ReadFile(path);
  EditProfile([](CDlgAdjustProfiles* dialog) {
    ASSERT_TRUE(test::PickInComboBox(*dialog->List(kVideoCodec), "MPEG4"));
    Click(dialog, "cancelButton");
    EXPECT_FALSE(dialog->isVisible());
  });
  EXPECT_EQ(test::ReadFile(path), before);
}

TEST_F(AdjustProfilesTest, OneSelectedRowShowsItsOwnFileAndPositionsSeveralTheCurrentProfile) {
  AddItem(test::kMp3Profile, {0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
  AddItem(test::kMp3Profile, {0, 0, 0, 0, 0, 0, 7, 0, 0, 0});
  struct Case {
    std::vector<size_t> rows;
    const char* audioBitrate;
    int videoCodecs;  // the MP3 profile offers none
  };
  const Case cases[] = {
      {{0}, "64", 0},
      {{1}, "320", 0},
      {{0, 1}, "128", 4},  // the current (AVI) profile's own positions
      {{}, "128", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.rows));
    selected_ = c.rows;
    EditProfile([&c](CDlgAdjustProfiles* dialog) {
      EXPECT_EQ(Shown(dialog, kAudioBitrate), c.audioBitrate);
      EXPECT_EQ(dialog->List(kVideoCodec)->count(), c.videoCodecs);
    });
  }
}

TEST_F(AdjustProfilesTest, AnEmptyListIsAnEmptyDisabledDropDown) {
  std::string path = Path(test::kAviProfile);
  std::string text = test::ReadFile(path);
  size_t at = text.find("<VideoSizeList value=\"");
  ASSERT_NE(at, std::string::npos);
  size_t valueStart = at + std::string("<VideoSizeList value=\"").size();
  text.erase(valueStart, text.find('"', valueStart) - valueStart);
  test::WriteFile(path, text);
  EditProfile([](CDlgAdjustProfiles* dialog) {
    EXPECT_EQ(dialog->List(kVideoSize)->count(), 0);
    EXPECT_FALSE(dialog->List(kVideoSize)->isEnabled());
    EXPECT_TRUE(dialog->List(kVideoCodec)->isEnabled());
  });
}

TEST_F(AdjustProfilesTest, OkOnAVanishedFileSaysSoAndKeepsTheDialogOpen) {
  std::string path = Path(test::kAviProfile);
  test::MessageBoxAnswerer answerer;
  EditProfile([&](CDlgAdjustProfiles* dialog) {
    fs::remove(path);
    Click(dialog, "okButton");
    EXPECT_TRUE(dialog->isVisible());
    Click(dialog, "cancelButton");
  });
  ASSERT_EQ(answerer.Texts().size(), 1);
  EXPECT_TRUE(answerer.Texts()[0].startsWith("The profile could not be saved")) << answerer.Texts()[0].toStdString();
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace mivora
