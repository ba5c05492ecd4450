// A run from the main window's Start button through the progress window and
// back, as the program wires them.

#include <QPointer>

#include "app/CDlgConverting.h"
#include "app/OpenProgressWindow.h"
#include "common/Folders.h"
#include "editing/EditSettings.h"
#include "tests/gui_main/MainDlgFixture.h"

namespace mivora::test {
namespace {

TEST_F(MainDlgTest, AFinishedRunBringsTheMainWindowBackWithoutTheEdits) {
  Drop({Clip("a.mp4")});
  window_->Model().Sources().Update(0, [](SourceItem& item) { item.editSettings = std::make_unique<EditSettings>(); });
  const std::string out = MakeTempDir("out");
  window_->Model().OutputFolders().Browse(out);
  window_->SetProgressWindowFactory([](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    return OpenProgressWindow(owner, std::move(jobs));
  });

  MessageBoxAnswerer answers({1, 1});  // start converting; OK to the report
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  QPointer<QWidget> progress = window_->ProgressWindow();
  ASSERT_TRUE(qobject_cast<CDlgConverting*>(progress.data()));
  EXPECT_FALSE(window_->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return progress.isNull(); }, 60000));

  EXPECT_EQ(answers.Texts().last(), QStringLiteral("Converted successfully!"));
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->Model().Sources().Items()[0].editSettings, nullptr);
  EXPECT_GT(FileSize(out + "/a.avi"), 0);
}

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
