// The main window driven as a user drives it: adding by dialog and by drop,
// row buttons, keys, tooltips, clearing, starting and leaving.

#include <QSignalSpy>
#include <QTest>

#include "app/main/SourceWindows.h"
#include "common/Folders.h"
#include "common/Format.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "ui/CGPImageButton.h"

namespace mivora::test {
namespace {

TEST_F(MainDlgTest, TheWindowHasItsSizeCaptionsAndTooltips) {
  EXPECT_EQ(window_->size(), QSize(719, 469));
  EXPECT_EQ(window_->windowTitle(), QStringLiteral("Mivora"));
  EXPECT_TRUE(window_->acceptDrops());
  const std::pair<ui::CGPImageButton*, const char*> tips[] = {
      {window_->AddButton(), "Add video file(s)"}, {window_->ClearButton(), "Delete all video files"},
      {window_->StartButton(), "Start"},           {window_->CloseButton(), "Close"},
      {window_->MinimizeButton(), "Minimize"},     {window_->HelpButton(), "Help"},
      {window_->AboutButton(), "About"}};
  for (const auto& [button, tip] : tips) EXPECT_EQ(button->toolTip(), QString::fromLatin1(tip));
  QStringList headers;
  QList<int> widths;
  for (int column = 0; column < List().columnCount(); ++column) {
    headers << List().horizontalHeaderItem(column)->text();
    widths << List().columnWidth(column);
  }
  EXPECT_EQ(headers, (QStringList{"File", "Info", "Size", "Target Format", "Estimated Size", " "}));
  EXPECT_EQ(widths.mid(0, 5), (QList<int>{109, 109, 99, 114, 114}));
  EXPECT_FALSE(window_->StartButton()->isEnabled());
  EXPECT_FALSE(window_->Model().ProfileControlsEnabled());
}

TEST_F(MainDlgTest, DroppedFilesAreAddedOnceWithTheirFactsAndFoldersAreSkipped) {
  Drop({Clip("folder.mp4"), Clip("a.mp4"), Clip("note.txt"), Clip("a.mp4")});
  EXPECT_EQ(FileColumn(), (QStringList{Clip("a.mp4"), Clip("note.txt")}));
  EXPECT_TRUE(List().item(0, 1)->text().startsWith(QStringLiteral("Duration:00:00:01")));
  EXPECT_EQ(List().item(0, 2)->text().toStdString(), FormatByteSize(FileSize(Clip("a.mp4").toStdString())));
  EXPECT_EQ(List().item(0, 3)->text(), QStringLiteral("avi"));
  EXPECT_FALSE(List().item(0, 4)->text().isEmpty());
  EXPECT_TRUE(window_->StartButton()->isEnabled());
  EXPECT_TRUE(window_->Model().ProfileControlsEnabled());

  // A drop of something that is not a local file is not taken.
  QMimeData web;
  web.setUrls({QUrl(QStringLiteral("https://example.org/clip.mp4"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &web, Qt::LeftButton, {});
  QApplication::sendEvent(window_.get(), &enter);
  EXPECT_FALSE(enter.isAccepted());
}

TEST_F(MainDlgTest, TheDialogAddsOnlyVideoFilesInItsOrderAndCaseMatters) {
  Drop({Clip("a.mp4")});
  AddByDialog({Clip("c.mkv"), Clip("note.txt"), Clip("a.mp4"), Clip("b.avi"), Clip("A.mp4")});
  EXPECT_EQ(FileColumn(), (QStringList{Clip("a.mp4"), Clip("c.mkv"), Clip("b.avi"), Clip("A.mp4")}));
  EXPECT_EQ(ModelOrder().size(), 4u);
  for (int row = 0; row < 4; ++row) EXPECT_EQ(FileColumn()[row].toStdString(), ModelOrder()[row]);
}

TEST_F(MainDlgTest, RowButtonsMoveAndDeleteAndKeepRowsAndItemsTogether) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv")});
  QMap<QString, QString> infoOf;
  for (int row = 0; row < 3; ++row) infoOf[List().item(row, 0)->text()] = List().item(row, 1)->text();
  ClickRowButton(0, kRowMoveUp);    // first row up: nothing
  ClickRowButton(2, kRowMoveDown);  // last row down: nothing
  EXPECT_EQ(FileColumn(), (QStringList{Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv")}));
  ClickRowButton(0, kRowMoveDown);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("a.mp4"), Clip("c.mkv")}));
  ClickRowButton(2, kRowMoveUp);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("c.mkv"), Clip("a.mp4")}));
  for (int row = 0; row < 3; ++row) EXPECT_EQ(List().item(row, 1)->text(), infoOf[FileColumn()[row]]);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(FileColumn()[row].toStdString(), ModelOrder()[row]);

  ClickRowButton(1, kRowDelete);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("a.mp4")}));
  // The Delete key removes the selected row.
  List().setFocus();
  List().setCurrentCell(0, 0);
  QTest::keyClick(&List(), Qt::Key_Delete);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("a.mp4")}));
  EXPECT_TRUE(window_->StartButton()->isEnabled());
  ClickRowButton(0, kRowDelete);
  EXPECT_EQ(List().rowCount(), 0);
  EXPECT_EQ(window_->Model().Sources().Count(), 0u);
  EXPECT_FALSE(window_->StartButton()->isEnabled());
  EXPECT_FALSE(window_->Model().ProfileControlsEnabled());
}

// An editor stand-in: gives the edited item the trim and crop a user chose.
class ScriptedEditor : public SourceWindows {
 public:
  bool EditSource(QWidget*, SourceList& list, size_t row) override {
    ++edits;
    return list.Update(row, [&](SourceItem& item) {
      item.editSettings = std::make_unique<EditSettings>(next);
    });
  }
  void PreviewSource(QWidget*, const SourceItem& item) override { previewed.push_back(item.sourcePath); }
  EditSettings next;
  int edits = 0;
  std::vector<std::string> previewed;
};

TEST_F(MainDlgTest, EditSummariesFollowTheirItemsAndARunDropsThem) {
  ScriptedEditor editor;
  AddByDialog({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv")});
  ClickRowButton(1, kRowEdit);  // no editor yet: nothing happens
  window_->SetSourceWindows(&editor);
  editor.next.trimEnabled = 1;
  editor.next.trimStart = 10;
  editor.next.trimEnd = 70;
  editor.next.cropEnabled = 1;
  editor.next.cropLeft = 10;
  editor.next.cropTop = 20;
  editor.next.cropRight = 330;
  editor.next.cropBottom = 260;
  ClickRowButton(1, kRowEdit);
  ClickRowButton(2, kRowPreview);
  EXPECT_EQ(editor.edits, 1);
  EXPECT_EQ(editor.previewed, std::vector<std::string>{Clip("c.mkv").toStdString()});
  const QString summary = QStringLiteral("Trim: 00:00:10 - 00:01:10\nCrop: {10,20,320,240}");
  auto tip = [&](int row) { return List().item(row, 0)->toolTip(); };
  EXPECT_EQ(tip(1), summary);
  EXPECT_EQ(tip(0), Clip("a.mp4"));

  ClickRowButton(1, kRowMoveUp);  // b.avi moves to the top with its summary
  EXPECT_EQ(tip(0), summary);
  EXPECT_EQ(tip(1), Clip("a.mp4"));
  ClickRowButton(1, kRowDelete);  // a.mp4 goes; c.mkv moves up without b's summary
  EXPECT_EQ(tip(0), summary);
  EXPECT_EQ(tip(1), Clip("c.mkv"));

  // Switching every edit off leaves no stale summary.
  editor.next = EditSettings{};
  ClickRowButton(0, kRowEdit);
  EXPECT_EQ(tip(0), Clip("b.avi"));

  editor.next.trimEnabled = 1;
  editor.next.trimEnd = 5;
  ClickRowButton(0, kRowEdit);
  EXPECT_NE(tip(0), Clip("b.avi"));
  window_->OnRunFinished();
  EXPECT_EQ(tip(0), Clip("b.avi"));
  EXPECT_FALSE(window_->Model().Sources().At(0)->editSettings);
  window_->SetSourceWindows(nullptr);
}

TEST_F(MainDlgTest, ClearListAsksOnlyWhenThereIsSomethingToClear) {
  {
    MessageBoxAnswerer answers;
    QTest::mouseClick(window_->ClearButton(), Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_TRUE(answers.Texts().isEmpty());
  }
  AddByDialog({Clip("a.mp4"), Clip("b.avi")});
  MessageBoxAnswerer answers({2, 1});
  QTest::mouseClick(window_->ClearButton(), Qt::LeftButton);
  EXPECT_EQ(List().rowCount(), 2);
  QTest::mouseClick(window_->ClearButton(), Qt::LeftButton);
  EXPECT_EQ(answers.Texts(), QStringList(2, QStringLiteral("Are you sure you want to clear the list?")));
  EXPECT_EQ(List().rowCount(), 0);
  EXPECT_EQ(window_->Model().Sources().Count(), 0u);
  EXPECT_FALSE(window_->StartButton()->isEnabled());
  EXPECT_FALSE(window_->Model().ProfileControlsEnabled());
}

TEST_F(MainDlgTest, StartAsksThenNeedsAFolderThenHandsTheJobsToTheProgressWindow) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi")});
  std::vector<ConversionJob> handed;
  QWidget* progress = nullptr;
  window_->SetProgressWindowFactory([&](CMainDlg* owner, std::vector<ConversionJob> jobs) {
    handed = std::move(jobs);
    progress = new QWidget(owner, Qt::Window);
    return progress;
  });
  MessageBoxAnswerer answers({2, 1, 1, 1});
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);  // No
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);  // Yes, but no folder
  EXPECT_EQ(answers.Texts(), (QStringList{"Are you sure you want to start converting?",
                                          "Are you sure you want to start converting?", "No output folder"}));
  EXPECT_TRUE(handed.empty());
  EXPECT_TRUE(window_->isVisible());

  const std::string out = MakeTempDir("out");
  window_->Model().OutputFolders().Browse(out);
  QTest::mouseClick(window_->StartButton(), Qt::LeftButton);
  ASSERT_EQ(handed.size(), 2u);
  EXPECT_EQ(handed[0].outputPath, out + "/a.avi");
  EXPECT_EQ(handed[1].outputPath, out + "/b.avi");
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->ProgressWindow(), progress);
  EXPECT_TRUE(progress->isVisible());
  window_->RestoreAfterRun();
  EXPECT_TRUE(window_->isVisible());
}

TEST_F(MainDlgTest, LeavingAsksFirstFromTheCloseButtonAndTheDesktop) {
  MessageBoxAnswerer answers({2, 2, 1});
  QTest::mouseClick(window_->CloseButton(), Qt::LeftButton);
  EXPECT_TRUE(window_->isVisible());
  window_->close();  // the desktop's close asks the same
  EXPECT_TRUE(window_->isVisible());
  QTest::mouseClick(window_->CloseButton(), Qt::LeftButton);
  EXPECT_EQ(answers.Texts(), QStringList(3, QStringLiteral("Are you sure you want to exit?")));
  EXPECT_FALSE(window_->isVisible());
  EXPECT_EQ(window_->result(), QDialog::Accepted);
}

TEST_F(MainDlgTest, KeyboardReachesEveryButtonAndEnterClicksIt) {
  AddByDialog({Clip("a.mp4")});
  window_->AddButton()->setFocus();
  QTest::keyClick(window_.get(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->ClearButton());
  QTest::keyClick(window_.get(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), &List());
  MessageBoxAnswerer answers({2});
  window_->ClearButton()->setFocus();
  QTest::keyClick(window_->ClearButton(), Qt::Key_Return);
  EXPECT_EQ(answers.Texts(), QStringList{QStringLiteral("Are you sure you want to clear the list?")});
  // Escape and Enter on the window itself never close it.
  QTest::keyClick(window_.get(), Qt::Key_Escape);
  EXPECT_TRUE(window_->isVisible());
}

}  // namespace
}  // namespace mivora::test
