// A whole run from the main window: "Start", the real progress window
// converting generated clips, the completion notice, and the main window
// back with its rows and without the edits.

#include <QSignalSpy>
#include <QTest>

#include "app/main/SourceWindows.h"
#include "common/Folders.h"
#include "pipeline/JobFailure.h"
#include "tests/gui_main/MainDlgFixture.h"

namespace mivora::test {
namespace {

TEST_F(MainDlgTest, ARunConvertsEveryFileAndBringsTheWindowBackWithoutEdits) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi")});
  window_->Model().Sources().Update(1, [](SourceItem& item) {
    item.editSettings = std::make_unique<EditSettings>();
    item.editSettings->trimEnabled = 1;
    item.editSettings->trimEnd = 1;
  });
  window_->Model().RefreshEditSummary(1);
  const std::string out = MakeTempDir("out");
  window_->Model().OutputFolders().Browse(out);

  MessageBoxAnswerer answers({1, 1});  // start: Yes; "Converted successfully!": OK
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  ASSERT_NE(window_->ProgressWindow(), nullptr);
  EXPECT_FALSE(window_->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return window_->isVisible(); }, 120000)) << "the window never came back";
  EXPECT_TRUE(WaitUntil([&] { return window_->ProgressWindow() == nullptr; }, 5000));

  EXPECT_EQ(answers.Texts().value(0), QStringLiteral("Are you sure you want to start converting?"));
  EXPECT_EQ(answers.Texts().size(), 2);
  for (const char* name : {"a.avi", "b.avi"}) {
    const ProbeFacts facts = ProbeWithFfprobe(out + "/" + name);
    EXPECT_TRUE(facts.readable) << name;
  }
  EXPECT_EQ(List().rowCount(), 2);
  EXPECT_FALSE(window_->Model().Sources().At(1)->editSettings);
  EXPECT_EQ(List().item(1, 0)->toolTip(), Clip("b.avi"));
}

// A file that fails keeps saying so in its row once the report is closed,
// until the next run.
TEST_F(MainDlgTest, AFailedFileSaysWhyInItsRowAfterTheRun) {
  const std::string gone = MakeTempDir("src") + "/todelete.mp4";
  WriteFile(gone, ReadFile(Clip("a.mp4").toStdString()));
  Drop({Clip("b.avi"), QString::fromStdString(gone)});
  std::remove(gone.c_str());  // deleted after it was added
  window_->Model().OutputFolders().Browse(MakeTempDir("out"));

  MessageBoxAnswerer answers({1, 1});  // start: Yes; the report: OK
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->isVisible(); }, 120000)) << "the window never came back";
  const std::string why = FailureMessage(FailureKind::kSourceMissing);
  EXPECT_TRUE(answers.Texts().value(1).contains(QString::fromStdString("todelete.mp4: " + why)))
      << answers.Texts().value(1).toStdString();
  ASSERT_EQ(List().rowCount(), 2);
  EXPECT_EQ(List().item(1, 1)->text().toStdString(), "Failed: " + why);
  EXPECT_EQ(List().item(1, 1)->toolTip().toStdString(), "Failed: " + why);
  EXPECT_TRUE(List().item(0, 1)->text().startsWith("Duration:"));  // the converted one
  window_->Model().OnRunStarting();
  EXPECT_EQ(window_->Model().RowFailure(1), "");
}

}  // namespace
}  // namespace mivora::test
