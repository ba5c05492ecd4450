// The profile and output-folder rows inside the main window: a row click
// reaches them, a profile choice redraws the selected rows, and "Start"
// converts into the folder chosen with "Browse".

#include <gtest/gtest.h>

#include "app/output/COutputFolderBar.h"
#include "app/profile/CProfileBar.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "tests/gui_profile/GuiDriving.h"

namespace mivora {
namespace {

using MainDlgProfileTest = test::MainDlgTest;

TEST_F(MainDlgProfileTest, ProfileChoiceFollowsTheClickedRowAndReachesStart) {
  CProfileBar& bar = *window_->ProfileBar();
  COutputFolderBar& output = *window_->OutputFolderBar();
  EXPECT_FALSE(bar.TargetButton()->isEnabled());  // nothing added yet
  AddByDialog({Clip("a.mp4"), Clip("b.avi")});
  ASSERT_TRUE(bar.TargetButton()->isEnabled());
  EXPECT_EQ(bar.NameField()->text(), " AVI - Audio Video Interleaved");

  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().visualItemRect(List().item(1, 0)).center());
  ASSERT_EQ(window_->SelectedRows(), (std::vector<size_t>{1}));
  test::ChooseProfile(*bar.TargetButton(), "Audio", "MP3 - MPEG Layer-3 Audio");
  ASSERT_TRUE(test::WaitUntil([&] { return bar.EditButton()->text() == "mp3"; }));
  EXPECT_EQ(List().item(0, 3)->text(), "avi");  // only the selected row changes
  EXPECT_EQ(List().item(1, 3)->text(), "mp3");

  // Clicking the first row shows its (unchanged) profile again.
  QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().visualItemRect(List().item(0, 0)).center());
  EXPECT_EQ(bar.NameField()->text(), " AVI - Audio Video Interleaved");
  EXPECT_EQ(bar.EditButton()->text(), "avi");

  const std::string out = test::MakeTempDir("out");
  output.SetFolderPicker([&](QWidget*) { return QString::fromStdString(out); });
  QTest::mouseClick(output.BrowseButton(), Qt::LeftButton);
  std::vector<ConversionJob> handed;
  window_->SetProgressWindowFactory([&](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    handed = std::move(jobs);
    return new QWidget(owner, Qt::Window);
  });
  test::MessageBoxAnswerer answers({1});
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  ASSERT_EQ(handed.size(), 2u);
  EXPECT_EQ(handed[0].outputPath, out + "/a.avi");
  EXPECT_EQ(handed[1].outputPath, out + "/b.mp3");
}

}  // namespace
}  // namespace mivora
