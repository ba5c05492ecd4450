// The list survives an abnormal end: the real program is killed with files in
// its list, and the next start offers them back; rows come back in order with
// their profiles and edits, files that are gone are named; after the exit the
// user chose nothing is offered; what a finished batch converted is not
// offered again.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>

#include "app/main/CMainDlg.h"
#include "app/main/SourceListKeeper.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "pipeline/TaskBuilder.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CGPImageButton.h"
#include "ui/CRowButtonList.h"

namespace mivora::test {
namespace {

std::vector<std::string> Paths(CMainDlg& window) {
  std::vector<std::string> paths;
  for (const SourceItem& item : window.Model().Sources().Items()) paths.push_back(item.sourcePath);
  return paths;
}

bool FileSays(const std::string& path, const std::string& text) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) && file.readAll().contains(QByteArray::fromStdString(text));
}

std::vector<std::string> SavedPaths(const std::string& userFolder) {
  SavedListReading reading = ReadSavedSourceList(ReadFile(SourceListKeeper::PathIn(userFolder)));
  std::vector<std::string> paths;
  if (reading.list) {
    for (const SavedSourceEntry& entry : reading.list->entries) paths.push_back(entry.sourcePath);
  }
  return paths;
}

// A window with its keeper, as the program starts them.
struct Session {
  explicit Session(const std::string& userFolder)
      : window(userFolder), keeper(window, SourceListKeeper::PathIn(userFolder)), restored(&keeper, &SourceListKeeper::restoreFinished) {
    window.show();
  }
  CMainDlg window;
  SourceListKeeper keeper;
  QSignalSpy restored;
};

TEST(ListRecovery, AKilledProgramsListIsOfferedBackAndRestoredOnYes) {
  const std::string media = MakeTempDir("media");
  const std::string a = media + "/a clip.mp4", b = media + "/b.avi";
  GenerateClip(a, {.seconds = 1.0, .width = 160, .height = 120});
  GenerateClip(b, {.seconds = 1.0, .width = 160, .height = 120});
  const std::string userFolder = AppDataFolder("Mivora");
  const std::string saved = SourceListKeeper::PathIn(userFolder);

  QProcess program;
  program.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {QString::fromStdString(a), QString::fromStdString(b)});
  ASSERT_TRUE(WaitUntil([&] { return FileSays(saved, "count 2\n"); }, 60000)) << "the list was never saved";
  program.kill();  // no chance to say anything
  ASSERT_TRUE(program.waitForFinished(10000));

  // Started again, it asks; the session ending meanwhile keeps the list for later.
  QProcess asking;
  asking.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {});
  ASSERT_TRUE(WaitUntil([] { return FileSays(LogFilePath(), "ended abnormally with 2 files"); }, 30000));
  asking.terminate();
  ASSERT_TRUE(asking.waitForFinished(10000));
  EXPECT_EQ(asking.exitCode(), 0);
  EXPECT_TRUE(FileSays(saved, "count 2\n"));

  MessageBoxAnswerer answers({1});  // Yes
  Session next(userFolder);
  next.keeper.OfferRestore();
  ASSERT_TRUE(WaitUntil([&] { return next.restored.count() == 1; }, 60000));
  EXPECT_EQ(answers.Texts(), QStringList{"Mivora did not close normally. Restore the 2 files of its list?"});
  EXPECT_EQ(Paths(next.window), (std::vector<std::string>{a, b}));
  EXPECT_EQ(next.window.SourceListView()->rowCount(), 2);
  EXPECT_EQ(next.window.SourceListView()->item(0, 0)->text().toStdString(), a);
}

TEST(ListRecovery, RowsComeBackInOrderWithProfilesAndEditsAndTheGoneAreNamed) {
  const std::string media = MakeTempDir("media");
  std::vector<std::string> clips;
  for (const char* name : {"one.mp4", "two.mp4", "three.mp4"}) {
    clips.push_back(media + "/" + name);
    GenerateClip(clips.back(), {.seconds = 1.0, .width = 160, .height = 120});
  }
  const std::string userFolder = MakeTempDir("user");
  std::vector<SourceItem> before;
  {
    Session first(userFolder);
    first.keeper.StartSaving();
    QStringList paths;
    for (const std::string& clip : clips) paths << QString::fromStdString(clip);
    first.window.AddPaths(paths, AddRoute::kDrop);
    ASSERT_TRUE(WaitUntil([&] { return first.window.Model().Sources().Count() == 3 && first.window.PendingAdds() == 0; }, 60000));
    // Another profile for the second row, edits for the third, then the
    // third moved up: the order is two, three... as the user left it.
    const std::string otherProfile = ProgramFolder() + "/Profiles/General Video/MP4 - MPEG-4 H.264 Video.xml";
    ASSERT_TRUE(FileExists(otherProfile));
    ApplyProfileToRows(first.window.Model().Sources(), {1}, otherProfile, 42, true);
    first.window.Model().Sources().Update(2, [](SourceItem& item) {
      item.editSettings = std::make_unique<EditSettings>();
      item.editSettings->trimEnabled = 1;
      item.editSettings->trimEnd = 1;
      item.editSettings->textEnabled = 1;
      item.editSettings->watermarkText = "two\nlines";
    });
    first.window.OnRowButton(2, kRowMoveUp);
    before = first.window.Model().Sources().Items();
    first.keeper.SaveIfChanged();
    // The window goes without its exit: as a crash leaves it.
  }
  std::filesystem::remove(clips[0]);

  MessageBoxAnswerer answers({1, 1});  // Yes, then OK to the missing file
  Session next(userFolder);
  next.keeper.OfferRestore();
  ASSERT_TRUE(WaitUntil([&] { return next.restored.count() == 1; }, 60000));
  ASSERT_EQ(answers.Texts().size(), 2);
  EXPECT_EQ(answers.Texts()[0], "Mivora did not close normally. Restore the 3 files of its list?");
  EXPECT_TRUE(answers.Texts()[1].contains(QString::fromStdString(clips[0]))) << answers.Texts()[1].toStdString();
  const std::vector<SourceItem> after = next.window.Model().Sources().Items();
  ASSERT_EQ(after.size(), 2u);
  // before: one, three, two; one is gone.
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(SavedSourceEntry::Of(after[i]), SavedSourceEntry::Of(before[i + 1])) << i;
    EXPECT_EQ(after[i].mediaInfo.video.width, "160") << "probed again";
  }
  EXPECT_EQ(after[0].sourcePath, clips[2]);
  ASSERT_TRUE(after[0].editSettings);
  EXPECT_EQ(after[0].editSettings->watermarkText, "two\nlines");
  EXPECT_EQ(after[1].profileId, 42);
  // The File cell's tooltip is the edited row's edit summary, as before.
  EXPECT_NE(next.window.SourceListView()->item(0, 0)->toolTip(), QString::fromStdString(clips[2]));

  // The exit the user chose: nothing is offered next time.
  next.keeper.StartSaving();
  next.keeper.MarkCleanExit();
  MessageBoxAnswerer none;
  Session third(userFolder);
  third.keeper.OfferRestore();
  QTest::qWait(200);
  EXPECT_TRUE(none.Texts().isEmpty());
  EXPECT_EQ(third.window.Model().Sources().Count(), 0u);
}

TEST(ListRecovery, AFinishedBatchLeavesItsConvertedFilesOutUntilTheNextRun) {
  const std::string media = MakeTempDir("media");
  const std::string good = media + "/good.mp4", broken = media + "/broken.mp4";
  GenerateClip(good, {.seconds = 1.0, .width = 160, .height = 120});
  GenerateClip(broken, {.seconds = 1.0, .width = 160, .height = 120});
  const std::string userFolder = MakeTempDir("user");
  Session session(userFolder);
  session.keeper.StartSaving();
  session.window.AddPaths({QString::fromStdString(good), QString::fromStdString(broken)}, AddRoute::kDrop);
  ASSERT_TRUE(WaitUntil([&] { return session.window.Model().Sources().Count() == 2 && session.window.PendingAdds() == 0; }, 60000));
  // Listed while whole, broken before the run: its job fails.
  WriteFile(broken, "no longer a video");
  session.window.Model().OutputFolders().Browse(MakeTempDir("out"));
  QSignalSpy converted(&session.window, &CMainDlg::SourcesConverted);

  MessageBoxAnswerer answers({1, 1});  // Start: Yes; the report: OK
  QTest::mouseClick(session.window.StartButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return converted.count() == 1; }, 120000)) << answers.Texts().join('|').toStdString();
  EXPECT_EQ(converted.at(0).at(0).toStringList(), QStringList{QString::fromStdString(good)});
  // Both rows stay; a crash now would offer only the failed file.
  EXPECT_EQ(session.window.Model().Sources().Count(), 2u);
  EXPECT_EQ(SavedPaths(userFolder), std::vector<std::string>{broken});

  // A new run converts every row again, so every row is saved again.
  answers.Push(1);  // Start: Yes; the existing output is not replaced, the report closes
  QTest::mouseClick(session.window.StartButton(), Qt::LeftButton);
  EXPECT_EQ(SavedPaths(userFolder), (std::vector<std::string>{good, broken}));
  ASSERT_TRUE(WaitUntil([&] { return converted.count() == 2; }, 120000)) << answers.Texts().join('|').toStdString();
  EXPECT_TRUE(converted.at(1).at(0).toStringList().isEmpty());
  EXPECT_EQ(SavedPaths(userFolder), (std::vector<std::string>{good, broken}));
}

TEST(ListRecovery, AThousandFilesAddedQuicklyAreWrittenAFewTimesNotAThousand) {
  const std::string userFolder = MakeTempDir("user");
  Session session(userFolder);
  session.keeper.StartSaving();
  const int before = session.keeper.Saves();
  QElapsedTimer clock;
  clock.start();
  // A thousand items arriving over about a second, as probing workers hand them in.
  for (int i = 0; i < 1000; ++i) {
    SourceItem item;
    item.sourcePath = "/videos/clip " + std::to_string(i) + ".mp4";
    item.profilePath = "/profiles/p.xml";
    session.window.AddRestoredItem(std::move(item));
    if (i % 10 == 0) QTest::qWait(10);
  }
  const qint64 addingMs = clock.elapsed();
  ASSERT_TRUE(WaitUntil([&] { return FileSays(SourceListKeeper::PathIn(userFolder), "count 1000\n"); }, 10000));
  const int writes = session.keeper.Saves() - before;
  EXPECT_GE(writes, 1);
  // About two a second while files arrive, and the last one after.
  EXPECT_LE(writes, 3 + static_cast<int>(addingMs / 500)) << addingMs << " ms of adding";
}

TEST(ListRecovery, ABrokenOrNewerSavedListIsIgnoredWithALogLine) {
  const std::string userFolder = MakeTempDir("user");
  for (const char* text : {"MIVORA-LIST 9\nclean 0\ncount 0\n", "MIVORA-LIST 1\nclean 0\nitem\npath /x\n"}) {
    WriteFile(SourceListKeeper::PathIn(userFolder), text);
    MessageBoxAnswerer none;
    Session session(userFolder);
    session.keeper.OfferRestore();
    QTest::qWait(100);
    EXPECT_TRUE(none.Texts().isEmpty()) << text;
    EXPECT_EQ(session.window.Model().Sources().Count(), 0u);
  }
  EXPECT_TRUE(FileSays(LogFilePath(), "ignored the saved list: written by a newer version"));
}

}  // namespace
}  // namespace mivora::test
