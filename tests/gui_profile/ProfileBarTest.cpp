// The main window's profile controls driven as a user does, on a private copy
// of the shipped profiles, a real config.xml and a source list.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>

#include "tests/gui_profile/GuiDriving.h"
#include "tests/gui_profile/ProfileBarFixture.h"

namespace mivora {
namespace {

class ProfileBarTest : public test::ProfileBarFixture {
 protected:
  std::string SavedProfileId() const {
    CConfigXml saved;
    EXPECT_TRUE(saved.LoadConfig(configPath_));
    return saved.GetLastProfileId();
  }
  QRect menuGeometry_;
};

TEST_F(ProfileBarTest, ChoosingFromTheMenuShowsTheProfileAndAppliesItToSelectedRows) {
  EXPECT_EQ(bar_->VideoBitrates()->currentText(), "1200 Kbps");
  AddItem(test::kAviProfile, {});
  AddItem(test::kAviProfile, {});
  selected_ = {1};
  QSignalSpy rowsChanged(bar_, &CProfileBar::rowsChanged);

  test::ChooseProfile(*bar_->TargetButton(), "Audio", "MP3 - MPEG Layer-3 Audio", &menuGeometry_);
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar_->EditButton()->text() == "mp3"; }));

  // The menu opens right above the name field, without covering it.
  int fieldTop = bar_->NameField()->mapToGlobal(QPoint(0, 0)).y();
  EXPECT_LE(menuGeometry_.bottom(), fieldTop);
  EXPECT_GE(menuGeometry_.bottom(), fieldTop - 12);
  EXPECT_EQ(menuGeometry_.left(), bar_->NameField()->mapToGlobal(QPoint(0, 0)).x());

  EXPECT_EQ(bar_->NameField()->text(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(bar_->VideoBitrates()->count(), 0);
  EXPECT_FALSE(bar_->VideoBitrates()->isEnabled());
  EXPECT_TRUE(bar_->AudioBitrates()->isEnabled());
  EXPECT_EQ(test::ItemsOf(*bar_->AudioBitrates()).front(), "32 Kbps");
  EXPECT_EQ(bar_->AudioBitrates()->currentText(), "128 Kbps");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kMp3Profile)));
  EXPECT_EQ(rowsChanged.count(), 1);
  EXPECT_EQ(sources_.At(0)->engineArgs, "old");
  EXPECT_EQ(sources_.At(1)->targetExtension, "mp3");
  EXPECT_EQ(sources_.At(1)->profilePath, Path(test::kMp3Profile));

  // Dismissing the menu changes nothing.
  test::WhenShown<QMenu>([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
  QTest::mouseClick(bar_->NameField(), Qt::LeftButton);
  EXPECT_EQ(bar_->NameField()->text(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(rowsChanged.count(), 1);
}

TEST_F(ProfileBarTest, PickingABitRateWritesBothListsIntoTheProfileFile) {
  struct Case {
    const char* list;  // which drop-down the user changes
    const char* item;
    const char* audioValue;
    const char* audioIndex;
    const char* videoValue;
    const char* videoIndex;
  };
  const Case cases[] = {
      {"audio", "256 Kbps", "256", "5", "1200", "3"},
      {"video", "3000 Kbps", "256", "5", "3000", "6"},
  };
  AddItem(test::kAviProfile, {});
  selected_ = {0};
  std::string path = Path(test::kAviProfile);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    QComboBox* box = std::string(c.list) == "audio" ? bar_->AudioBitrates() : bar_->VideoBitrates();
    ASSERT_TRUE(test::PickInComboBox(*box, c.item));
    EXPECT_EQ(box->currentText(), c.item);
    EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "value"), c.audioValue);
    EXPECT_EQ(test::AttributeOf(path, "AudioBitrate", "index"), c.audioIndex);
    EXPECT_EQ(test::AttributeOf(path, "AudioBitrateList", "index"), c.audioIndex);
    EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "value"), c.videoValue);
    EXPECT_EQ(test::AttributeOf(path, "VideoBitrate", "index"), c.videoIndex);
    EXPECT_EQ(test::AttributeOf(path, "VideoBitrateList", "index"), c.videoIndex);
  }
  EXPECT_EQ(panel_->CurrentVideoBitrateBps(), 3000 * 1024);
  SourceItem item = *sources_.At(0);
  EXPECT_NE(item.engineArgs.find("-ab 256k"), std::string::npos) << item.engineArgs;
  EXPECT_EQ(item.videoBitrateBps, 3000 * 1024);
}

TEST_F(ProfileBarTest, SourceClickShowsTheItemsProfileAndNoRowDisablesTheControls) {
  AddItem(test::kMp3Profile, {0, 0, 0, 0, 0, 0, 6, 0, 0, 0});
  panel_->OnSourceClicked(0);  // what the main window does first
  bar_->OnSourceClicked(0);
  EXPECT_EQ(bar_->NameField()->text(), " MP3 - MPEG Layer-3 Audio");
  EXPECT_EQ(bar_->EditButton()->text(), "mp3");
  EXPECT_EQ(bar_->AudioBitrates()->currentText(), "256 Kbps");
  EXPECT_TRUE(bar_->EditButton()->isEnabled());

  panel_->OnSourceClicked(-1);
  bar_->OnSourceClicked(-1);
  for (QWidget* control : {static_cast<QWidget*>(bar_->NameField()),
                           static_cast<QWidget*>(bar_->TargetButton()),
                           static_cast<QWidget*>(bar_->EditButton()),
                           static_cast<QWidget*>(bar_->VideoBitrates()),
                           static_cast<QWidget*>(bar_->AudioBitrates())})
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  // A disabled name field opens no menu.
  QTest::mouseClick(bar_->NameField(), Qt::LeftButton);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

}  // namespace
}  // namespace mivora
