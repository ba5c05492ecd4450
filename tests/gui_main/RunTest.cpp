// A whole run from the main window: "Start", the real progress window
// converting generated clips, the completion notice, and the main window
// back with its rows and without the edits.

#include <QSignalSpy>
#include <QTest>

#include "app/main/SourceWindows.h"
#include "common/Folders.h"
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

}  // namespace
}  // namespace mivora::test
