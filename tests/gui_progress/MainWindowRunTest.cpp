// The progress window as the main window opens it.

#include <QPointer>

#include "app/progress/CDlgConverting.h"
#include "app/progress/OpenProgressWindow.h"
#include "common/Folders.h"
#include "tests/gui_main/MainDlgFixture.h"

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

}  // namespace
}  // namespace mivora::test
