// The list survives an abnormal end: the real program is killed with files in
// its list, and the next start offers them back; rows come back in order with
// their profiles and edits, files that are gone are named; after the exit the
// user chose nothing is offered; what a finished batch converted is not
// offered again.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "app/main/CMainDlg.h"
#include "app/main/SourceListKeeper.h"
#include "app/progress/CDlgConverting.h"
#include "app/startup/OpenProgressWindow.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "pipeline/TaskBuilder.h"
#include "tests/support/FifoRescuer.h"
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
    window.SetProgressWindowFactory(ProgressWindows());
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

// What lies where the list is kept may be anything: it is read only when it
// is a plain file of a list's size, without waiting and without following a
// link. Anything else is kept aside, the user is told once, and the next
// save starts a new list instead of overwriting it.
TEST(ListRecovery, ARefusedSavedListIsKeptAsideAndTheUserToldOnce) {
  struct Case {
    const char* name;
    std::function<void(const std::string& path)> make;
    std::string why;  // in the log
  };
  const std::vector<Case> cases = {
      {"pipe", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "not a plain file"},
      {"3 GB sparse file",
       [](const std::string& path) {
         WriteFile(path, "MIVORA-LIST 1\nclean 0\n");
         ASSERT_EQ(::truncate(path.c_str(), int64_t{3} << 30), 0);
       },
       "larger than any saved list"},
      {"link to a list",
       [](const std::string& path) {
         const std::string target = MakeTempDir("elsewhere") + "/list.txt";
         WriteFile(target, "MIVORA-LIST 1\nclean 0\nitem\npath /v/a.mp4\nprofile /p.xml\nend\ncount 1\n");
         ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
       },
       "not a plain file"},
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); }, "not a plain file"},
      {"newer version", [](const std::string& path) { WriteFile(path, "MIVORA-LIST 9\nclean 0\ncount 0\n"); },
       "written by a newer version"},
      {"cut off", [](const std::string& path) { WriteFile(path, "MIVORA-LIST 1\nclean 0\nitem\npath /x\n"); },
       "cut off"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string userFolder = MakeTempDir("user");
    const std::string path = SourceListKeeper::PathIn(userFolder);
    c.make(path);
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    FifoRescuer rescuer({path}, std::chrono::seconds(5));
    auto answers = std::make_unique<MessageBoxAnswerer>();
    auto session = std::make_unique<Session>(userFolder);
    QElapsedTimer clock;
    clock.start();
    session->keeper.OfferRestore();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_FALSE(rescuer.Rescued()) << "waited for a writer";
    ASSERT_EQ(answers->Texts().size(), 1);
    EXPECT_TRUE(answers->Texts()[0].contains(QString::fromStdString(path + ".refused")))
        << answers->Texts()[0].toStdString();
    EXPECT_EQ(session->window.Model().Sources().Count(), 0u);
    // Kept aside as it was (a link stays a link), and a new list begins.
    struct stat aside {};
    ASSERT_EQ(::lstat((path + ".refused").c_str(), &aside), 0);
    EXPECT_EQ(aside.st_mode & S_IFMT, before.st_mode & S_IFMT);
    EXPECT_EQ(aside.st_ino, before.st_ino);
    session->keeper.StartSaving();
    EXPECT_TRUE(FileSays(path, "count 0\n"));
    EXPECT_TRUE(FileSays(LogFilePath(), c.why));
    session.reset();  // ended without its exit: the new list stays unclean
    answers.reset();
    // Told once: the next start finds the new list.
    MessageBoxAnswerer none;
    Session again(userFolder);
    again.keeper.OfferRestore();
    EXPECT_TRUE(none.Texts().isEmpty());
  }
}

// The list belongs to the program that holds it: a second one (another
// session of the same user, or one that could not take the instance lock)
// neither offers the running program's list back nor empties it, so a kill
// of the first still leaves its list to the next start.
TEST(ListRecovery, ASecondInstanceNeitherOffersNorEmptiesTheRunningOnesList) {
  const std::string media = MakeTempDir("media");
  const std::string a = media + "/a.mp4", b = media + "/b.mp4";
  GenerateClip(a, {.seconds = 1.0, .width = 160, .height = 120});
  GenerateClip(b, {.seconds = 1.0, .width = 160, .height = 120});
  const std::string saved = SourceListKeeper::PathIn(AppDataFolder("Mivora"));
  std::filesystem::remove(saved);  // an earlier test's list would be offered back
  QProcess first;
  first.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {QString::fromStdString(a), QString::fromStdString(b)});
  ASSERT_TRUE(WaitUntil([&] { return SavedPaths(AppDataFolder("Mivora")) == std::vector<std::string>{a, b}; }, 60000))
      << "the list was never saved";

  QProcess second;
  QProcessEnvironment otherSession = QProcessEnvironment::systemEnvironment();
  otherSession.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(MakeTempDir("other-session")));
  second.setProcessEnvironment(otherSession);
  second.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {});
  ASSERT_TRUE(WaitUntil([] {
    return FileSays(LogFilePath(), "ended abnormally") || FileSays(LogFilePath(), "held by another running Mivora");
  }, 30000));
  EXPECT_FALSE(FileSays(LogFilePath(), "ended abnormally")) << "the live list was offered back";
  QTest::qWait(3000);  // past its first saves
  second.terminate();
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(SavedPaths(AppDataFolder("Mivora")), (std::vector<std::string>{a, b}));

  first.kill();
  ASSERT_TRUE(first.waitForFinished(10000));
  QProcess next;
  next.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {});
  EXPECT_TRUE(WaitUntil([] { return FileSays(LogFilePath(), "ended abnormally with 2 files"); }, 30000));
  next.terminate();
  ASSERT_TRUE(next.waitForFinished(10000));
  EXPECT_TRUE(FileSays(saved, "count 2\n"));
}

// A file leaves the saved list as soon as its output is whole, not when the
// batch ends: a kill with five of six converted offers back one. The sixth
// source is a pipe nobody writes, so its engine waits until cancelled, and
// the cancel must end it.
TEST(ListRecovery, EachConvertedFileLeavesTheSavedListAtOnce) {
  const std::string media = MakeTempDir("media");
  QStringList paths;
  for (int i = 1; i <= 6; ++i) {
    paths << QString::fromStdString(media + "/clip" + std::to_string(i) + ".mp4");
    GenerateClip(paths.back().toStdString(), {.seconds = 1.0, .width = 160, .height = 120});
  }
  const std::string pipe = paths.back().toStdString();
  const std::string userFolder = MakeTempDir("user");
  auto session = std::make_unique<Session>(userFolder);
  session->keeper.StartSaving();
  session->window.AddPaths(paths, AddRoute::kDrop);
  ASSERT_TRUE(WaitUntil(
      [&] { return session->window.Model().Sources().Count() == 6 && session->window.PendingAdds() == 0; }, 60000));
  std::filesystem::remove(pipe);
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  session->window.Model().OutputFolders().Browse(MakeTempDir("out"));

  auto answers = std::make_unique<MessageBoxAnswerer>(std::deque<int>{1});  // Start: Yes
  QTest::mouseClick(session->window.StartButton(), Qt::LeftButton);
  EXPECT_TRUE(WaitUntil([&] { return SavedPaths(userFolder) == std::vector<std::string>{pipe}; }, 120000))
      << SavedPaths(userFolder).size() << " files saved";
  // The batch is still running (the pipe's engine waits): cancel it.
  auto* progress = qobject_cast<CDlgConverting*>(session->window.ProgressWindow());
  ASSERT_NE(progress, nullptr);
  answers->Push(1);  // Cancel: Yes
  QElapsedTimer clock;
  clock.start();
  progress->Cancel();
  EXPECT_TRUE(WaitUntil([&] { return !session->window.ProgressWindow(); }, 20000));
  EXPECT_LT(clock.elapsed(), 15000);
  session.reset();  // as a kill leaves it: no clean exit
  answers.reset();

  MessageBoxAnswerer restore({2});  // No
  Session next(userFolder);
  next.keeper.OfferRestore();
  EXPECT_EQ(restore.Texts(), QStringList{"Mivora did not close normally. Restore the 1 files of its list?"});
}

// Restoring a list whose file is a pipe: the restore's probe takes the
// program's end as a stop instead of running to its time limit.
TEST(ListRecovery, AnEndDuringTheRestoreDoesNotWaitForItsProbe) {
  const std::string userFolder = MakeTempDir("user");
  const std::string pipe = MakeTempDir("media") + "/pipe.mp4";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  SavedSourceList list;
  SavedSourceEntry entry;
  entry.sourcePath = pipe;
  entry.profilePath = ProgramFolder() + "/Profiles/General Video/MP4 - MPEG-4 H.264 Video.xml";
  list.entries.push_back(entry);
  ASSERT_TRUE(SaveSourceListFile(SourceListKeeper::PathIn(userFolder), list));
  MessageBoxAnswerer answers({1});  // Yes
  auto session = std::make_unique<Session>(userFolder);
  session->keeper.OfferRestore();
  ASSERT_TRUE(session->keeper.Restoring());
  QTest::qWait(1000);  // the probe is under way
  QElapsedTimer clock;
  clock.start();
  session.reset();
  EXPECT_LT(clock.elapsed(), 5000);
}

}  // namespace
}  // namespace mivora::test
