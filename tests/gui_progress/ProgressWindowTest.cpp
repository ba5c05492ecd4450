#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/progress/CConvertingTray.h"
#include "app/progress/CDlgConverting.h"
#include "common/Folders.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPComboBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CImageCheckBox.h"
#include "ui/CProgressListCtrl.h"

namespace mivora {
namespace {

using test::MessageBoxAnswerer;
using test::WaitUntil;

constexpr const char* kSmallArgs = "-vcodec mpeg4 -acodec mp2 -s 96x64 ";
// Slow enough to be watched, deleted and cancelled while it runs.
constexpr const char* kSlowArgs = "-vcodec libx264 -acodec mp2 -s 1280x720 ";
constexpr int kLongSeconds = 20;

const std::string& SmallClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("clips") + "/small clip.avi";
    test::GenerateClip(p, {.seconds = 1, .width = 160, .height = 120});
    return p;
  }();
  return path;
}

const std::string& LongClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("clips") + "/long clip.avi";
    test::GenerateClip(p, {.seconds = kLongSeconds, .width = 160, .height = 120});
    return p;
  }();
  return path;
}

ConversionJob Job(const std::string& source, const std::string& output, const char* args,
                  int seconds = 1) {
  return {source, output, "10 KB", "avi", args, seconds};
}

// One progress window as the main window opens it, with the signals it
// sends back recorded.
struct Window {
  QPointer<CDlgConverting> dialog = new CDlgConverting;
  QSignalSpy restored{dialog.data(), &CDlgConverting::restoreMainWindow};
  QSignalSpy completed{dialog.data(), &CDlgConverting::batchCompleted};

  ~Window() {
    if (dialog) delete dialog.data();
  }
  ui::CProgressListCtrl& list() { return *dialog->JobList(); }
  bool Closed() { return WaitUntil([&] { return dialog.isNull(); }, 60000); }
};

void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(5, 5)); }

TEST(ProgressWindow, ConvertsEveryJobAndReportsSuccess) {
  std::string out = test::MakeTempDir("out");
  MessageBoxAnswerer answers;
  Window w;
  w.dialog->AddJob(Job(SmallClip(), out + "/a.avi", kSmallArgs));
  w.dialog->AddJob(Job(SmallClip(), out + "/b.avi", kSmallArgs));
  ASSERT_EQ(w.list().rowCount(), 2);
  EXPECT_EQ(w.list().CellText(0, CDlgConverting::kFile).toStdString(), SmallClip());
  EXPECT_EQ(w.list().CellText(1, CDlgConverting::kTargetFormat), "avi");
  EXPECT_EQ(w.list().CellText(1, CDlgConverting::kEstimatedSize), "10 KB");
  EXPECT_EQ(w.dialog->windowTitle(), "Converting...");
  EXPECT_EQ(w.dialog->size(), QSize(719, 469));
  // Two clicks on the shutdown box leave it off, so no shutdown is requested.
  Click(w.dialog->AutoShutdownBox());
  EXPECT_TRUE(w.dialog->AutoShutdown());
  Click(w.dialog->AutoShutdownBox());
  EXPECT_FALSE(w.dialog->AutoShutdown());
  EXPECT_TRUE(w.dialog->DeleteUnfinished());
  Click(w.dialog->DeleteUnfinishedBox());
  EXPECT_FALSE(w.dialog->Runner().DeleteUnfinished());
  Click(w.dialog->DeleteUnfinishedBox());
  EXPECT_TRUE(w.dialog->Runner().DeleteUnfinished());

  // Showing the window starts the batch; keys that would close an ordinary
  // dialog do nothing.
  w.dialog->show();
  for (QWidget* target : {static_cast<QWidget*>(&w.list()), static_cast<QWidget*>(w.dialog.data())})
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(target, key);
  // The window deletes itself when the batch ends: never read it after that.
  ASSERT_TRUE(WaitUntil([&] { return !w.dialog || w.dialog->Runner().IsRunning(); }));
  ASSERT_FALSE(w.dialog.isNull()) << "the batch ended before it was seen running";
  EXPECT_TRUE(w.dialog->isVisible());
  EXPECT_TRUE(answers.Texts().isEmpty());
  EXPECT_FALSE(w.dialog->Start());  // once only

  ASSERT_TRUE(w.Closed());
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
  EXPECT_EQ(answers.Styles(), QList<unsigned>{0x40});
  EXPECT_EQ(w.restored.count(), 1);
  EXPECT_EQ(w.completed.count(), 1);
  // The 4:3 clips keep their shape inside the profile's 96x64 box.
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/a.avi").video.width, 86);
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/b.avi").video.width, 86);
  EXPECT_TRUE(test::RecordedShutdowns().empty());
}

TEST(ProgressWindow, AFailedSourceIsReportedByName) {
  std::string out = test::MakeTempDir("out");
  std::string broken = test::MakeTempDir("src") + "/not a video.avi";
  test::WriteFile(broken, "this is text, not a video");
  MessageBoxAnswerer answers;
  Window w;
  w.dialog->AddJob(Job(SmallClip(), out + "/good.avi", kSmallArgs));
  w.dialog->AddJob(Job(broken, out + "/bad.avi", kSmallArgs));
  // The failed row as it stands while the report is read: "Failed", and why.
  QSignalSpy failed(w.dialog.data(), &CDlgConverting::jobFailed);
  QString outcome, tip;
  QObject::connect(w.dialog.data(), &CDlgConverting::jobFailed, [&] {
    outcome = w.list().Outcome(1);
    tip = w.list().item(1, CDlgConverting::kProgress)->toolTip();
  });
  ASSERT_TRUE(w.dialog->Start());
  ASSERT_TRUE(w.Closed());
  ASSERT_EQ(answers.Texts().size(), 1);
  const QString report = answers.Texts()[0];
  const QString why = QString::fromStdString(FailureMessage(FailureKind::kSourceDamaged));
  EXPECT_TRUE(report.startsWith("Converted 1 of 2 files.")) << report.toStdString();
  EXPECT_TRUE(report.contains("not a video.avi: " + why)) << report.toStdString();
  EXPECT_FALSE(report.contains("Invalid data")) << report.toStdString();  // the engine's words: the log's
  EXPECT_EQ(outcome, "Failed");
  EXPECT_TRUE(tip.endsWith("Failed: " + why)) << tip.toStdString();
  ASSERT_EQ(failed.count(), 1);
  EXPECT_EQ(failed[0][0].toString().toStdString(), broken);
  EXPECT_EQ(failed[0][1].toString(), why);
  EXPECT_EQ(answers.Styles(), QList<unsigned>{0x10});
  EXPECT_EQ(w.completed.count(), 1);
}

TEST(ProgressWindow, AutoShutdownAfterTheBatchAsksForPowerOffWithoutANotice) {
  std::string out = test::MakeTempDir("out");
  MessageBoxAnswerer answers;
  Window w;
  w.dialog->AddJob(Job(SmallClip(), out + "/a.avi", kSmallArgs));
  Click(w.dialog->AutoShutdownBox());
  ASSERT_TRUE(w.dialog->Start());
  ASSERT_TRUE(w.Closed());
  EXPECT_TRUE(answers.Texts().isEmpty());
  EXPECT_EQ(test::RecordedShutdowns(), std::vector<int>{0});
  EXPECT_EQ(w.restored.count(), 1);
}

TEST(ProgressWindow, RowsAdvanceAndDeletingTheRunningRowMovesOnToTheNext) {
  std::string out = test::MakeTempDir("out");
  MessageBoxAnswerer answers;
  QStringList rowsLeft;  // outlives the window, which fills it
  Window w;
  w.dialog->AddJob(Job(LongClip(), out + "/long.mp4", kSlowArgs, kLongSeconds));
  w.dialog->AddJob(Job(SmallClip(), out + "/small.avi", kSmallArgs));
  ASSERT_TRUE(w.dialog->Start());

  ASSERT_TRUE(WaitUntil([&] { return w.list().Progress(0) > 0; }, 30000));
  ASSERT_TRUE(WaitUntil([&] { return w.list().CellText(0, CDlgConverting::kElapsed) != "00:00:00"; }));
  ASSERT_TRUE(WaitUntil([&] { return w.list().CellText(0, CDlgConverting::kRemaining) != "00:00:00"; }));
  const int seen = w.list().Progress(0);
  ASSERT_TRUE(WaitUntil([&] { return w.list().Progress(0) > seen; }, 30000));
  // The tray icon animates while the batch runs.
  const int frame = w.dialog->Tray()->ShownFrame();
  ASSERT_TRUE(WaitUntil([&] { return w.dialog->Tray()->ShownFrame() != frame; }, 2000));

  // The small file is done already, so the batch ends with the delete and
  // the window may close in the same pass of the event loop that removes the
  // row: the rows left are recorded as the row goes.
  ui::CProgressListCtrl* list = &w.list();
  QObject::connect(list->model(), &QAbstractItemModel::rowsRemoved, list, [&rowsLeft, list] {
    rowsLeft.clear();
    for (int row = 0; row < list->rowCount(); ++row)
      rowsLeft << list->CellText(row, CDlgConverting::kFile);
  });
  Click(w.list().RowButton(0));
  ASSERT_TRUE(w.Closed());
  EXPECT_EQ(rowsLeft, QStringList{QString::fromStdString(SmallClip())});
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
  EXPECT_FALSE(FileExists(out + "/long.mp4"));
  EXPECT_EQ(test::ProbeWithFfprobe(out + "/small.avi").video.codec, "mpeg4");
  EXPECT_EQ(test::ProcessesMentioning(out), 0);
}

TEST(ProgressWindow, TwoRowsAdvanceSideBySideAndCancelRemovesBothFiles) {
  std::string out = test::MakeTempDir("out");
  MessageBoxAnswerer answers({1});  // Yes, cancel
  Window w;
  w.dialog->AddJob(Job(LongClip(), out + "/first.mp4", kSlowArgs, kLongSeconds));
  w.dialog->AddJob(Job(LongClip(), out + "/second.mp4", kSlowArgs, kLongSeconds));
  w.dialog->AddJob(Job(SmallClip(), out + "/third.avi", kSmallArgs));
  // Picked as a user does; the choice goes out to be kept.
  QSignalSpy chosen(w.dialog.data(), &CDlgConverting::conversionsAtOnceChosen);
  ui::CGPComboBox* atOnce = w.dialog->ConversionsAtOnceBox();
  atOnce->setCurrentIndex(1);
  emit atOnce->activated(1);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen[0][0].toInt(), 2);
  EXPECT_EQ(w.dialog->ConversionsAtOnce(), 2);
  ASSERT_TRUE(w.dialog->Start());

  const QString zero = "00:00:00";
  ASSERT_TRUE(WaitUntil([&] { return w.list().Progress(0) > 0 && w.list().Progress(1) > 0; }, 60000));
  ASSERT_TRUE(WaitUntil([&] {
    return w.list().CellText(0, CDlgConverting::kElapsed) != zero &&
           w.list().CellText(1, CDlgConverting::kElapsed) != zero;
  }));
  const int first = w.list().Progress(0), second = w.list().Progress(1);
  ASSERT_TRUE(WaitUntil(
      [&] { return w.list().Progress(0) > first && w.list().Progress(1) > second; }, 60000));
  EXPECT_EQ(w.list().Progress(2), 0);  // waits for a free engine
  EXPECT_EQ(w.list().CellText(2, CDlgConverting::kElapsed), zero);

  Click(w.dialog->CancelButton());
  ASSERT_TRUE(w.Closed());
  EXPECT_EQ(answers.Texts().size(), 1);
  EXPECT_EQ(w.completed.count(), 0);
  EXPECT_FALSE(FileExists(out + "/first.mp4"));
  EXPECT_FALSE(FileExists(out + "/second.mp4"));
  EXPECT_FALSE(FileExists(out + "/third.avi"));
  EXPECT_EQ(test::ProcessesMentioning(out), 0);
}

TEST(ProgressWindow, MinimizedToTheTrayAndBackThenCancelledAfterAsking) {
  CConvertingTray::AssumeAvailable(true);
  std::string out = test::MakeTempDir("out");
  MessageBoxAnswerer answers({2, 1});  // No to the first cancel question, Yes to the second
  Window w;
  w.dialog->SetConversionsAtOnce(1);  // the small file waits, so it is never written
  w.dialog->AddJob(Job(LongClip(), out + "/long.mp4", kSlowArgs, kLongSeconds));
  w.dialog->AddJob(Job(SmallClip(), out + "/small.avi", kSmallArgs));
  ASSERT_TRUE(w.dialog->Start());
  w.dialog->move(120, 80);
  const QPoint place = w.dialog->pos();
  ASSERT_TRUE(WaitUntil([&] { return w.list().Progress(0) > 0; }, 30000));

  Click(w.dialog->MinimizeButton());
  EXPECT_FALSE(w.dialog->isVisible());
  emit w.dialog->Tray()->Icon().activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(w.dialog->isVisible());
  EXPECT_EQ(w.dialog->pos(), place);

  Click(w.dialog->CancelButton());
  ASSERT_TRUE(WaitUntil([&] { return answers.Texts().size() == 1; }));
  EXPECT_EQ(answers.Texts()[0], "Are you sure you want to cancel the task and then close this window?");
  EXPECT_EQ(answers.Styles()[0], 0x44u);
  ASSERT_FALSE(w.dialog.isNull());
  EXPECT_TRUE(w.dialog->Runner().IsRunning());

  Click(w.dialog->CloseButton());  // the caption's Close cancels the same way
  ASSERT_TRUE(w.Closed());
  EXPECT_EQ(answers.Texts().size(), 2);
  EXPECT_EQ(w.restored.count(), 1);
  EXPECT_EQ(w.completed.count(), 0);
  EXPECT_FALSE(FileExists(out + "/long.mp4"));  // unfinished, and deleting unfinished files is on
  EXPECT_FALSE(FileExists(out + "/small.avi"));
  EXPECT_EQ(test::ProcessesMentioning(out), 0);
  CConvertingTray::AssumeAvailable(std::nullopt);
}

TEST(ProgressWindow, GoingAwayMidRunStopsTheEngine) {
  std::string out = test::MakeTempDir("out");
  Window w;
  w.dialog->AddJob(Job(LongClip(), out + "/long.mp4", kSlowArgs, kLongSeconds));
  ASSERT_TRUE(w.dialog->Start());
  ASSERT_TRUE(WaitUntil([&] { return w.list().Progress(0) > 0; }, 30000));
  delete w.dialog.data();  // as when the main window that owns it goes
  EXPECT_EQ(test::ProcessesMentioning(out), 0);
  EXPECT_EQ(w.restored.count(), 0);
}

TEST(ProgressWindow, AQuestionOfTheWorkerIsAnsweredOnTheWindow) {
  std::string out = test::MakeTempDir("out");
  test::WriteFile(out + "/a.avi", "the user's own file");
  MessageBoxAnswerer answers({2, 1});  // skip the existing file, then OK
  Window w;
  w.dialog->AddJob(Job(SmallClip(), out + "/a.avi", kSmallArgs));
  ASSERT_TRUE(w.dialog->Start());
  ASSERT_TRUE(w.Closed());
  ASSERT_EQ(answers.Texts().size(), 2);
  EXPECT_EQ(answers.Texts()[0].toStdString(),
            "The file '" + out + "/a.avi' is exists. \nClick Yes to continue or No to skip? ");
  EXPECT_EQ(answers.Styles()[0], 0x24u);
  EXPECT_TRUE(test::ReadFile(out + "/a.avi") == "the user's own file") << "the kept file was overwritten";
}

// The worker's question is shown from the window's own pull; while it is
// open the window still pulls, so the converting row keeps moving, and the
// answer holds for its job.
TEST(ProgressWindow, TheConvertingRowKeepsMovingWhileTheWorkersQuestionIsOpen) {
  std::string out = test::MakeTempDir("out");
  test::WriteFile(out + "/a.avi", "the user's own file");
  Window w;
  w.dialog->SetConversionsAtOnce(2);
  w.dialog->AddJob(Job(LongClip(), out + "/long.mp4", kSlowArgs, kLongSeconds));
  w.dialog->AddJob(Job(SmallClip(), out + "/a.avi", kSmallArgs));
  int atQuestion = -1, atAnswer = -1;
  bool answered = false;
  QElapsedTimer open;
  QTimer watcher;
  watcher.setInterval(20);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<ui::CDlgMessageBox*>(QApplication::activeModalWidget());
    if (answered || !box || !box->isVisible()) return;
    if (atQuestion < 0) {
      atQuestion = w.list().Progress(0);
      open.start();
    }
    bool moved = w.list().Progress(0) > atQuestion;
    if (!moved && open.elapsed() < 30000) return;
    if (moved) atAnswer = w.list().Progress(0);
    answered = true;
    QTest::mouseClick(box->SecondButton(), Qt::LeftButton);  // No: keep the file
  });
  watcher.start();
  ASSERT_TRUE(w.dialog->Start());
  ASSERT_TRUE(WaitUntil([&] { return answered; }, 60000));
  EXPECT_GT(atAnswer, atQuestion) << "the row stood still while the question was open";
  // The skipped row is finished: it can no longer be deleted.
  ASSERT_TRUE(WaitUntil([&] { return w.list().RowButton(1) && !w.list().RowButton(1)->isEnabled(); }));

  MessageBoxAnswerer answers({1});  // Yes, cancel
  Click(w.dialog->CancelButton());
  ASSERT_TRUE(w.Closed());
  EXPECT_EQ(test::ReadFile(out + "/a.avi"), "the user's own file");
  EXPECT_FALSE(FileExists(out + "/long.mp4"));
  EXPECT_EQ(test::ProcessesMentioning(out), 0);
}

}  // namespace
}  // namespace mivora
