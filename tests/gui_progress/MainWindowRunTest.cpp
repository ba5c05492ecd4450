// The progress window as the main window opens it.

#include <QPointer>

#include "app/progress/CDlgConverting.h"
#include "app/startup/OpenProgressWindow.h"
#include "common/Folders.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "ui/CGPComboBox.h"

namespace mivora::test {
namespace {

TEST_F(MainDlgTest, TheProgressWindowGoesWithTheMainWindow) {
  Drop({Clip("a.mp4")});
  window_->Model().OutputFolders().Browse(MakeTempDir("out"));
  window_->SetProgressWindowFactory([](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    return OpenProgressWindow(owner, std::move(jobs));
  });
  MessageBoxAnswerer answers({1});
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  QPointer<QWidget> progress = window_->ProgressWindow();
  ASSERT_FALSE(progress.isNull());
  window_.reset();
  EXPECT_TRUE(progress.isNull());
}

TEST_F(MainDlgTest, ConversionsAtOnceComeFromTheSettingsAndAPickIsKept) {
  Drop({Clip("a.mp4")});
  window_->Model().OutputFolders().Browse(MakeTempDir("out"));
  window_->Model().Config().SetConversionsAtOnce(3);
  window_->SetProgressWindowFactory([](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    return OpenProgressWindow(owner, std::move(jobs));
  });
  MessageBoxAnswerer answers({1});
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  auto* progress = qobject_cast<CDlgConverting*>(window_->ProgressWindow());
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->ConversionsAtOnce(), 3);
  ui::CGPComboBox* atOnce = progress->ConversionsAtOnceBox();
  EXPECT_EQ(atOnce->currentText(), "3");
  atOnce->setCurrentIndex(0);
  emit atOnce->activated(0);
  EXPECT_EQ(progress->ConversionsAtOnce(), 1);
  EXPECT_EQ(window_->Model().Config().GetConversionsAtOnce(), 1);
  EXPECT_NE(ReadFile(window_->Model().ConfigPath()).find("<batch conversionsAtOnce=\"1\"/>"),
            std::string::npos);
}

}  // namespace
}  // namespace mivora::test
