// The source list's selection and the profile controls inside the main
// window: profile actions reach every selected row and only those, and the
// row buttons act on their own row without moving the selection or the
// current profile.

#include <gtest/gtest.h>

#include "app/profile/CDlgAdjustProfiles.h"
#include "app/profile/CProfileBar.h"
#include "tests/adjust/AdjustTestFiles.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "tests/gui_profile/GuiDriving.h"

namespace mivora {
namespace {

const std::string kWmvProfile = "General Video/WMV - Windows Media Video.xml";

class MainDlgSelectionTest : public test::MainDlgTest {
 protected:
  CProfileBar& Bar() { return *window_->ProfileBar(); }
  std::string ProfilePath(const std::string& relative) const { return profiles_ + "/" + relative; }
  int32_t IdOf(const std::string& relative) {
    for (const ProfileEntry& entry : window_->Model().Menu().Catalog().All())
      if (entry.path == ProfilePath(relative)) return entry.id;
    ADD_FAILURE() << relative;
    return 0;
  }
  static std::string Contents(const std::string& path) { return test::ReadFile(path); }
  std::string SavedProfileId() {
    CConfigXml saved;
    EXPECT_TRUE(saved.LoadConfig(window_->Model().ConfigPath()));
    return saved.GetLastProfileId();
  }
  SourceItem Item(size_t row) { return window_->Model().Sources().At(row).value_or(SourceItem{}); }
  // Picks `profile` in the menu for the selected rows and waits for it to arrive.
  void Choose(const QString& group, const QString& profile, const QString& extension) {
    test::ChooseProfile(*Bar().TargetButton(), group, profile);
    ASSERT_TRUE(test::WaitUntil([&] { return Bar().EditButton()->text() == extension; }));
  }
  std::vector<size_t> Selected() { return window_->SelectedRows(); }
};

TEST_F(MainDlgSelectionTest, DeletingARowKeepsTheCurrentProfileAndItsFile) {
  // a: AVI, b: MP3, c: WMV, A: AVI.
  AddByDialog({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv"), Clip("A.mp4")});
  ClickRow(1);
  Choose("Audio", "MP3 - MPEG Layer-3 Audio", "mp3");
  ClickRow(2);
  Choose("General Video", "WMV - Windows Media Video", "wmv");
  ASSERT_EQ(Item(1).profilePath, ProfilePath(test::kMp3Profile));
  ASSERT_EQ(Item(2).profilePath, ProfilePath(kWmvProfile));

  // The selected first row goes with two rows below it: no other file's
  // profile becomes current, and with nothing selected the controls rest.
  ClickRow(0);
  ASSERT_EQ(Bar().NameField()->text(), " AVI - Audio Video Interleaved");
  ClickRowButton(0, kRowDelete);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("c.mkv"), Clip("A.mp4")}));
  EXPECT_TRUE(Selected().empty());
  EXPECT_EQ(Bar().NameField()->text(), " AVI - Audio Video Interleaved");
  EXPECT_EQ(Bar().EditButton()->text(), "avi");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(test::kAviProfile)));
  EXPECT_FALSE(Bar().AudioBitrates()->isEnabled());

  // c (WMV) is selected; deleting the row above it leaves c selected and
  // current, and the next bit-rate pick goes into c's profile and no other.
  ClickRow(1);
  ASSERT_EQ(Bar().NameField()->text(), " WMV - Windows Media Video");
  const std::string mp3Before = Contents(ProfilePath(test::kMp3Profile));
  const std::string aviBefore = Contents(ProfilePath(test::kAviProfile));
  const SourceItem lastBefore = Item(2);
  ClickRowButton(0, kRowDelete);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("c.mkv"), Clip("A.mp4")}));
  EXPECT_EQ(Selected(), (std::vector<size_t>{0}));
  EXPECT_EQ(Bar().NameField()->text(), " WMV - Windows Media Video");
  EXPECT_EQ(Bar().EditButton()->text(), "wmv");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(kWmvProfile)));
  ASSERT_TRUE(Bar().AudioBitrates()->isEnabled());
  ASSERT_TRUE(test::PickInComboBox(*Bar().AudioBitrates(), QStringLiteral("192 Kbps")));
  EXPECT_EQ(test::AttributeOf(ProfilePath(kWmvProfile), "AudioBitrate", "value"), "192");
  EXPECT_EQ(Item(0).listIndices[kAudioBitrate], 4);
  EXPECT_EQ(Contents(ProfilePath(test::kMp3Profile)), mp3Before);
  EXPECT_EQ(Contents(ProfilePath(test::kAviProfile)), aviBefore);
  EXPECT_EQ(Item(1).profilePath, lastBefore.profilePath);
  EXPECT_EQ(Item(1).listIndices, lastBefore.listIndices);
  EXPECT_EQ(Item(1).engineArgs, lastBefore.engineArgs);
}

TEST_F(MainDlgSelectionTest, ProfileAndBitRateReachEverySelectedRowAndNoOther) {
  Drop({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv"), Clip("A.mp4"), Clip("note.txt")});
  ASSERT_EQ(List().rowCount(), 5);
  ClickRow(0);
  Choose("Audio", "MP3 - MPEG Layer-3 Audio", "mp3");

  // Rows 1 and 2 with a click and Shift+Down, row 4 with a Ctrl-click.
  ClickRow(1);
  QTest::keyClick(&List(), Qt::Key_Down, Qt::ShiftModifier);
  ClickRow(4, Qt::ControlModifier);
  ASSERT_EQ(Selected(), (std::vector<size_t>{1, 2, 4}));
  EXPECT_EQ(Bar().NameField()->text(), " AVI - Audio Video Interleaved");  // row 4's profile

  const SourceItem first = Item(0);
  const SourceItem fourth = Item(3);
  const std::string mp3Before = Contents(ProfilePath(test::kMp3Profile));
  const std::string aviBefore = Contents(ProfilePath(test::kAviProfile));
  Choose("General Video", "WMV - Windows Media Video", "wmv");
  ASSERT_TRUE(test::PickInComboBox(*Bar().VideoBitrates(), QStringLiteral("2000 Kbps")));
  EXPECT_EQ(test::AttributeOf(ProfilePath(kWmvProfile), "VideoBitrate", "value"), "2000");
  EXPECT_EQ(test::AttributeOf(ProfilePath(kWmvProfile), "VideoBitrateList", "index"), "4");
  // "Adjust profiles" shows the current profile's own positions, and OK
  // gives every selected row the new audio bit rate.
  test::WhenShown<CDlgAdjustProfiles>([](CDlgAdjustProfiles* dialog) {
    EXPECT_EQ(dialog->List(kVideoBitrate)->currentText(), "2000");
    EXPECT_TRUE(test::PickInComboBox(*dialog->List(kAudioBitrate), "192"));
    QTest::mouseClick(dialog->findChild<QAbstractButton*>("okButton"), Qt::LeftButton);
  });
  QTest::mouseClick(Bar().EditButton(), Qt::LeftButton);
  EXPECT_EQ(Bar().AudioBitrates()->currentText(), "192 Kbps");
  for (size_t row : {1u, 2u, 4u}) {
    const SourceItem item = Item(row);
    EXPECT_EQ(item.profilePath, ProfilePath(kWmvProfile)) << row;
    EXPECT_EQ(item.targetExtension, "wmv") << row;
    EXPECT_EQ(item.listIndices[kVideoBitrate], 4) << row;
    EXPECT_EQ(item.listIndices[kAudioBitrate], 4) << row;
    EXPECT_EQ(item.videoBitrateBps, 2000 * 1024) << row;
    EXPECT_NE(item.engineArgs.find("2000k"), std::string::npos) << item.engineArgs;
    EXPECT_EQ(List().item(static_cast<int>(row), 3)->text(), "wmv");
  }
  EXPECT_EQ(Item(0).profilePath, first.profilePath);
  EXPECT_EQ(Item(0).engineArgs, first.engineArgs);
  EXPECT_EQ(Item(0).listIndices, first.listIndices);
  EXPECT_EQ(Item(3).profilePath, fourth.profilePath);
  EXPECT_EQ(Item(3).engineArgs, fourth.engineArgs);
  EXPECT_EQ(Item(3).listIndices, fourth.listIndices);
  EXPECT_EQ(List().item(0, 3)->text(), "mp3");
  EXPECT_EQ(List().item(3, 3)->text(), "avi");
  EXPECT_EQ(Contents(ProfilePath(test::kMp3Profile)), mp3Before);
  EXPECT_EQ(Contents(ProfilePath(test::kAviProfile)), aviBefore);

  // Row buttons act on their own row: a move takes the selection along with
  // its item, and neither the selection nor the current profile changes.
  ClickRowButton(0, kRowPreview);
  ClickRowButton(4, kRowMoveUp);
  EXPECT_EQ(Selected(), (std::vector<size_t>{1, 2, 3}));
  EXPECT_EQ(Item(3).sourcePath, Clip("note.txt").toStdString());
  EXPECT_EQ(Bar().NameField()->text(), " WMV - Windows Media Video");
  EXPECT_EQ(SavedProfileId(), std::to_string(IdOf(kWmvProfile)));

  // Shift-click spans from the row clicked last; Ctrl+A takes every row;
  // the Delete key removes the selected rows.
  ClickRow(0);
  EXPECT_EQ(Bar().NameField()->text(), " MP3 - MPEG Layer-3 Audio");
  ClickRow(2, Qt::ShiftModifier);
  EXPECT_EQ(Selected(), (std::vector<size_t>{0, 1, 2}));
  QTest::keyClick(&List(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Selected(), (std::vector<size_t>{0, 1, 2, 3, 4}));
  ClickRow(1);
  ClickRow(4, Qt::ControlModifier);
  QTest::keyClick(&List(), Qt::Key_Delete);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("a.mp4"), Clip("c.mkv"), Clip("note.txt")}));
  EXPECT_EQ(window_->Model().Sources().Count(), 3u);
  EXPECT_TRUE(Selected().empty());
  EXPECT_FALSE(window_->Model().ProfileControlsEnabled());
}

}  // namespace
}  // namespace mivora
