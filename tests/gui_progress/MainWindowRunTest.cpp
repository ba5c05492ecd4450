// A run started from the main window while the program sits in the main
// window's modal loop, as it does when it runs for real.

#include <QPointer>
#include <QTimer>

#include "common/Folders.h"
#include "tests/gui_main/MainDlgFixture.h"

namespace mivora::test {
namespace {

TEST_F(MainDlgTest, HidingForARunKeepsTheProgramsLoopUntilTheBatchHasEnded) {
  Drop({Clip("a.mp4")});
  const std::string out = MakeTempDir("out");
  window_->Model().OutputFolders().Browse(out);
  MessageBoxAnswerer answers({1, 1});  // start converting; OK to the report
  bool ranToTheEnd = false;
  QTimer::singleShot(0, window_.get(), [&] { QTest::mouseClick(window_->StartButton(), Qt::LeftButton); });
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (window_->isVisible() && answers.Texts().size() == 2 && window_->ProgressWindow() == nullptr) {
      ranToTheEnd = true;
      window_->done(QDialog::Accepted);
    }
  });
  watch.start(20);
  window_->exec();
  EXPECT_TRUE(ranToTheEnd) << "the main window's loop ended when the window hid for the run";
  EXPECT_EQ(answers.Texts().value(1), QStringLiteral("Converted successfully!"));
  EXPECT_GT(FileSize(out + "/a.avi"), 0);
}

}  // namespace
}  // namespace mivora::test
