// Adding many files at once (a folder picked in the dialog): every file gets
// its row at once and in the given order, the facts fill the rows as they
// come, and "Start" pressed at once converts every file with its facts.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "tests/gui_main/MainDlgFixture.h"

namespace mivora::test {
namespace {

class AddingTest : public MainDlgTest {
 protected:
  // A folder of copies of one clip, named in the order the dialog gives them.
  QStringList Folder(int count) {
    const std::string folder = MakeTempDir("folder");
    QStringList paths;
    for (int i = 0; i < count; ++i) {
      const std::string path = folder + "/clip " + std::to_string(100 + i) + ".mp4";
      std::filesystem::copy_file(Clip("a.mp4").toStdString(), path);
      paths << QString::fromStdString(path);
    }
    return paths;
  }
};

TEST_F(AddingTest, StartRightAfterAddingAFolderConvertsEveryFileWithItsFacts) {
  const QStringList paths = Folder(24);
  std::vector<ConversionJob> handed;
  window_->SetProgressWindowFactory([&](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    handed = std::move(jobs);
    return new QWidget(owner, Qt::Window);
  });
  window_->Model().OutputFolders().Browse(MakeTempDir("out"));
  // The busy cursor shows while Start waits for the files still being read.
  bool busySeen = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    const QCursor* cursor = QApplication::overrideCursor();
    if (cursor && cursor->shape() == Qt::WaitCursor) busySeen = true;
  });
  watch.start(5);

  MessageBoxAnswerer answers({1});  // start: Yes
  chosen_ = paths;
  QTest::mouseClick(window_->AddButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->StartButton()->isEnabled(); }, 60000));
  const int pendingAtStart = window_->PendingAdds();
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->ProgressWindow() != nullptr; }, 60000));

  ASSERT_EQ(handed.size(), static_cast<size_t>(paths.size()));
  for (int i = 0; i < paths.size(); ++i) {
    EXPECT_EQ(handed[i].sourcePath, paths[i].toStdString());
    EXPECT_EQ(handed[i].durationSeconds, 1) << handed[i].sourcePath;  // its facts were waited for
    EXPECT_FALSE(handed[i].estimatedSize.empty());
  }
  EXPECT_EQ(window_->PendingAdds(), 0);
  if (pendingAtStart > 0) EXPECT_TRUE(busySeen);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  window_->RestoreAfterRun();
  ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0; }, 60000));
}

TEST_F(AddingTest, RowsComeAtOnceInTheGivenOrderAndTheirFactsFollow) {
  Drop({Clip("b.avi")});
  const QStringList paths = Folder(150);  // several slices of rows
  chosen_ = paths;
  QTest::mouseClick(window_->AddButton(), Qt::LeftButton);
  Drop({Clip("c.mkv")});  // a drop while the folder is still being read comes after it
  ASSERT_TRUE(WaitUntil([&] { return List().rowCount() == 152; }, 10000));
  QStringList expected = QStringList{Clip("b.avi")} + paths + QStringList{Clip("c.mkv")};
  EXPECT_EQ(FileColumn(), expected);
  ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0; }, 120000));
  EXPECT_EQ(FileColumn(), expected);
  for (int row = 0; row < List().rowCount(); ++row) {
    EXPECT_TRUE(List().item(row, 1)->text().startsWith(QStringLiteral("Duration:00:00:01"))) << row;
    EXPECT_FALSE(List().item(row, 4)->text().isEmpty()) << row;
    EXPECT_EQ(ModelOrder()[row], expected[row].toStdString());
  }
}

TEST_F(AddingTest, ClearingWhileAFolderIsReadLeavesTheListEmpty) {
  chosen_ = Folder(250);
  QTest::mouseClick(window_->AddButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return List().rowCount() > 0; }, 10000));
  MessageBoxAnswerer answers({1});  // clear: Yes
  QTest::mouseClick(window_->ClearButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0; }, 60000));
  QTest::qWait(100);
  EXPECT_EQ(List().rowCount(), 0);
  EXPECT_EQ(window_->Model().Sources().Count(), 0u);
  EXPECT_FALSE(window_->StartButton()->isEnabled());
}

}  // namespace
}  // namespace mivora::test
