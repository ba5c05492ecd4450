// Starting the real program: one instance per session, a second start is
// refused, and the lock goes with the process however it ends.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cstdio>
#include <QTest>
#include <QProcess>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "app/startup/InstanceChannel.h"
#include "app/startup/SingleInstance.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "preview/PlayStatic.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {
namespace {

// True while some process holds the instance lock.
bool LockHeld() {
  const int fd = open(SingleInstance::LockPath().c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  close(fd);
  return held;
}

// The running program's log holds `text` (it logs each change of its list).
bool LogSays(const QString& text) {
  QFile log(QString::fromStdString(LogFilePath()));
  return log.open(QIODevice::ReadOnly) && QString::fromUtf8(log.readAll()).contains(text);
}

class Program {
 public:
  explicit Program(const QStringList& arguments = {}) {
    process_.setProgram(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"));
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  bool Says(const char* text, int timeoutMs = 20000) {
    return WaitUntil([&] {
      errors_ += process_.readAllStandardError();
      return errors_.contains(text);
    }, timeoutMs);
  }
  void Kill() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  QProcess& process() { return process_; }

 private:
  QProcess process_;
  QByteArray errors_;
};

TEST(Startup, ASecondStartIsRefusedAndTheLockEndsWithTheFirst) {
  ASSERT_FALSE(LockHeld());
  auto first = std::make_unique<Program>();
  ASSERT_TRUE(WaitUntil(LockHeld, 20000)) << "the first start never took the lock";

  {
    Program second;
    EXPECT_TRUE(second.Says(kAlreadyRunning));
    EXPECT_TRUE(LockHeld());
    // The first one was asked to come to the front, and its log is still whole.
    EXPECT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("a second start handed over 0 paths")); }, 10000));
    EXPECT_TRUE(LogSays(QStringLiteral("InstanceChannel, listening")));
  }

  // Killed without any chance to clean up: the kernel drops the lock.
  first->Kill();
  EXPECT_FALSE(LockHeld());

  Program third;
  ASSERT_TRUE(WaitUntil(LockHeld, 20000));
  EXPECT_FALSE(third.Says(kAlreadyRunning, 500));
  EXPECT_EQ(third.process().state(), QProcess::Running);
}

TEST(Startup, ASecondStartWithFilesHandsThemToTheFirstAndEnds) {
  QTemporaryDir dir;
  const QString clip = dir.filePath(QStringLiteral("handed over.mp4"));
  GenerateClip(clip.toStdString());
  Program first;
  ASSERT_TRUE(WaitUntil(LockHeld, 20000)) << "the first start never took the lock";
  ASSERT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("InstanceChannel, listening")); }, 20000));

  // Started elsewhere with a relative name, as a file manager may do.
  QProcess second;
  second.setWorkingDirectory(dir.path());
  second.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"),
               {QStringLiteral("handed over.mp4"), QStringLiteral("missing.mp4")});
  ASSERT_TRUE(WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 20000))
      << "the second start did not end";
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_FALSE(second.readAllStandardError().contains(kAlreadyRunning));

  EXPECT_TRUE(WaitUntil([&] { return LogSays(QStringLiteral("source list: 1 files, last: ") + clip); }, 30000))
      << "the first program's list never got the file";
  EXPECT_EQ(first.process().state(), QProcess::Running);
  EXPECT_TRUE(LockHeld());

  // The session's end (SIGTERM) closes the program as its own exit does:
  // status 0, the door taken down, the lock free.
  first.process().terminate();
  ASSERT_TRUE(first.process().waitForFinished(20000));
  EXPECT_EQ(first.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first.process().exitCode(), 0);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(InstanceChannel::SocketPath())));
  EXPECT_FALSE(LockHeld());
}

// Open descriptors of a process.
int OpenDescriptors(qint64 pid) {
  DIR* folder = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (folder == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
  closedir(folder);
  return count;
}

// Connections that knock at the door and then say nothing.
class IdleSenders {
 public:
  IdleSenders(const std::string& path, int count) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    QElapsedTimer clock;
    clock.start();
    while (static_cast<int>(fds_.size()) < count && clock.elapsed() < 5000) {
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (fd < 0) break;
      if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        fds_.push_back(fd);
        continue;
      }
      close(fd);
      if (errno != EAGAIN) break;
      usleep(2000);  // the door's queue is full: it is taking them in
    }
  }
  ~IdleSenders() {
    for (int fd : fds_) close(fd);
  }
  size_t Connected() const { return fds_.size(); }

 private:
  std::vector<int> fds_;
};

// A flood of senders that never finish (more than the program may open) must
// neither close the door for the rest of the session nor take every
// descriptor: later starts still hand their files over.
TEST(Startup, AFloodOfIdleSendersNeitherClosesTheDoorNorTakesEveryDescriptor) {
  constexpr int kFlood = 300;
  const struct {
    const char* what;
    int spareDescriptors;  // above what the running program has open
  } rows[] = {
      {"a generous limit", 4000},
      {"few descriptors to spare", 8},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("after the flood.mp4"));
    GenerateClip(clip.toStdString());
    std::remove(LogFilePath().c_str());
    Program first;
    ASSERT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("InstanceChannel, listening")); }, 20000));
    const qint64 pid = first.process().processId();
    const int before = OpenDescriptors(pid);
    ASSERT_GT(before, 0);
    const rlimit limit{static_cast<rlim_t>(before + row.spareDescriptors),
                       static_cast<rlim_t>(before + row.spareDescriptors)};
    ASSERT_EQ(prlimit(static_cast<pid_t>(pid), RLIMIT_NOFILE, &limit, nullptr), 0);
    {
      IdleSenders flood(InstanceChannel::SocketPath(), kFlood);
      EXPECT_EQ(flood.Connected(), static_cast<size_t>(kFlood));
      QTest::qWait(1500);  // the program takes (and refuses) what it can
      EXPECT_LE(OpenDescriptors(pid), before + 40) << "idle senders hold the program's descriptors";
    }
    QTest::qWait(500);
    QProcess second;
    second.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {clip});
    ASSERT_TRUE(second.waitForFinished(20000)) << "the second start did not end";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return LogSays(QStringLiteral("source list: 1 files, last: ") + clip); }, 30000))
        << "the running program never got the file";
  }
}

int LogLinesSaying(const QString& text) {
  return QString::fromUtf8(QByteArray::fromStdString(ReadFile(LogFilePath()))).count(text);
}

// The log the user is asked to send belongs to the desktop program: its
// start begins a new one, and every other process (the command line, the
// engine adapter, the preview library in the program) adds to it.
TEST(Startup, OnlyTheDesktopProgramsStartBeginsANewLog) {
  QTemporaryDir dir;
  const QString clip = dir.filePath(QStringLiteral("logged.mp4"));
  GenerateClip(clip.toStdString());
  WriteFile(LogFilePath(), "an earlier run's line\n");
  Program first;
  ASSERT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("InstanceChannel, listening")); }, 20000));
  EXPECT_FALSE(LogSays(QStringLiteral("an earlier run's line"))) << "the program's start keeps an old log";
  ASSERT_EQ(LogLinesSaying(QStringLiteral("Enter: main")), 1);

  const std::vector<std::vector<std::string>> runs = {
      {MIVORA_PROGRAM_DIR "/mivora-cli", "probe", clip.toStdString()},
      {MIVORA_PROGRAM_DIR "/trancor", "-i", clip.toStdString()},
      {MIVORA_PROGRAM_DIR "/mivora-cli", "probe", "/no/such/file.mp4"},
  };
  for (const std::vector<std::string>& run : runs) {
    const size_t sizeBefore = ReadFile(LogFilePath()).size();
    RunCommand(run);
    EXPECT_GE(ReadFile(LogFilePath()).size(), sizeBefore) << run[0] << " cut the running program's log";
    EXPECT_EQ(LogLinesSaying(QStringLiteral("Enter: main")), 1) << run[0] << " wiped the running program's log";
  }
  EXPECT_TRUE(LogSays(QStringLiteral("/no/such/file.mp4"))) << "the command line's own lines are missing";

  // The preview library in this process writes its first line too.
  {
    CPlayStatic preview;
    preview.Play("/no/such/file.mp4");
    preview.Stop();
  }
  EXPECT_TRUE(LogSays(QStringLiteral("Enter: CPlayStatic::Play")));
  EXPECT_EQ(LogLinesSaying(QStringLiteral("Enter: main")), 1) << "the preview library wiped the log";
}

// The per-user folder lists the user's files: only the user may read it.
TEST(Startup, ThePerUserFolderAndItsFilesAreTheUsersAlone) {
  const std::string folder = AppDataFolder("Mivora");
  chmod(folder.c_str(), 0755);
  const std::vector<std::string> files = {LogFilePath(), folder + "/config.xml", folder + "/SourceList.txt",
                                          folder + "/Profiles/Group/Profile.xml"};
  CreateFolderTree(folder + "/Profiles/Group");
  chmod((folder + "/Profiles").c_str(), 0755);
  chmod((folder + "/Profiles/Group").c_str(), 0755);
  WriteFile(folder + "/config.xml", "<?xml version=\"1.0\"?><config/>");
  WriteFile(folder + "/Profiles/Group/Profile.xml", "<Profile/>");
  WriteFile(LogFilePath(), "");  // the program's own lines show it has started
  WriteFile(folder + "/SourceList.txt", "");
  for (const std::string& file : files) chmod(file.c_str(), 0644);
  {
    Program program;
    ASSERT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("InstanceChannel, listening")); }, 20000));
    program.process().terminate();
    ASSERT_TRUE(program.process().waitForFinished(20000));
  }
  auto mode = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
  };
  for (const std::string& path : {folder, folder + "/Profiles", folder + "/Profiles/Group"})
    EXPECT_EQ(mode(path), 0700) << path;
  for (const std::string& file : files) EXPECT_EQ(mode(file), 0600) << file;
}

TEST(Startup, OnWaylandTheMainWindowIsMappedAndTheProgramEndsCleanly) {
  if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
    GTEST_SKIP() << "needs weston (Debian package weston)";
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqwayland-generic.so")))
    GTEST_SKIP() << "needs Qt's Wayland platform (Debian package qt6-wayland)";
  const QString socket = QStringLiteral("mivora-test-%1").arg(QCoreApplication::applicationPid());
  QProcess weston;
  weston.setProcessChannelMode(QProcess::MergedChannels);
  weston.start(QStringLiteral("weston"), {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + socket,
                                          QStringLiteral("--idle-time=0"), QStringLiteral("--no-config")});
  const QString socketPath = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + socket;
  if (!WaitUntil([&] { return QFile::exists(socketPath) || weston.state() == QProcess::NotRunning; }, 15000) ||
      weston.state() == QProcess::NotRunning) {
    const QByteArray said = weston.readAll();
    weston.kill();
    weston.waitForFinished(5000);
    GTEST_SKIP() << "weston did not start here: " << said.right(600).toStdString();
  }

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
  env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
  env.remove(QStringLiteral("DISPLAY"));
  // Under the address sanitizer the leak check leaves out what the system's
  // Wayland and EGL libraries keep (tests/lsan.supp names their modules);
  // only a full unwind reaches those modules' frames.
  env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":fast_unwind_on_malloc=0"));
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {});
  EXPECT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("main window mapped (wayland)")); }, 30000))
      << program.readAll().right(2000).toStdString();
  program.terminate();
  EXPECT_TRUE(program.waitForFinished(20000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAll().right(2000).toStdString();
  weston.terminate();
  if (!weston.waitForFinished(5000)) weston.kill();
  weston.waitForFinished(5000);
}

}  // namespace
}  // namespace mivora::test

namespace mivora::test {
namespace {

// The "Mivora" windows that are mapped on an X display: their sizes.
QStringList MappedMivoraWindows(const QString& display) {
  QProcess tree;
  tree.setProcessEnvironment([&] {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    return env;
  }());
  QStringList sizes;
  tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
  tree.waitForFinished(5000);
  for (const QString& line : QString::fromLocal8Bit(tree.readAllStandardOutput()).split(QLatin1Char('\n'))) {
    if (!line.contains(QLatin1String("\"Mivora\""))) continue;
    const QString id = line.trimmed().section(QLatin1Char(' '), 0, 0);
    QProcess info;
    info.setProcessEnvironment(tree.processEnvironment());
    info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    info.waitForFinished(5000);
    const QString details = QString::fromLocal8Bit(info.readAllStandardOutput());
    if (!details.contains(QLatin1String("IsViewable"))) continue;
    const QString width = details.section(QStringLiteral("Width: "), 1).section(QLatin1Char('\n'), 0, 0);
    const QString height = details.section(QStringLiteral("Height: "), 1).section(QLatin1Char('\n'), 0, 0);
    sizes << width + QLatin1Char('x') + height;
  }
  return sizes;
}

TEST(Startup, OnARealDisplayTheSplashComesFirstThenTheMainWindow) {
  if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
      QStandardPaths::findExecutable(QStringLiteral("xwininfo")).isEmpty()) {
    GTEST_SKIP() << "needs Xvfb and xwininfo";
  }
  QProcess xvfb;
  xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                      QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                                      QStringLiteral("tcp")});
  ASSERT_TRUE(xvfb.waitForReadyRead(10000));
  const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"), {});
  ASSERT_TRUE(program.waitForStarted());

  QElapsedTimer clock;
  clock.start();
  QStringList seen;
  ASSERT_TRUE(WaitUntil([&] {
    seen = MappedMivoraWindows(display);
    return seen.contains(QStringLiteral("600x132"));
  }, 20000)) << "no splash";
  const qint64 splashAt = clock.elapsed();
  EXPECT_FALSE(seen.contains(QStringLiteral("719x469")));
  ASSERT_TRUE(WaitUntil([&] {
    seen = MappedMivoraWindows(display);
    return seen.contains(QStringLiteral("719x469"));
  }, 20000)) << "no main window";
  // The splash stays at least 3.1 s; the polling here may see it a little late.
  EXPECT_GE(clock.elapsed() - splashAt, 2800);
  EXPECT_TRUE(WaitUntil([&] { return !MappedMivoraWindows(display).contains(QStringLiteral("600x132")); }, 5000));

  program.kill();
  program.waitForFinished(5000);
  xvfb.kill();
  xvfb.waitForFinished(5000);
}

}  // namespace
}  // namespace mivora::test

namespace mivora::test {
namespace {

// The window's start clears the temporary folders of killed runs of the
// program, as every start does, and leaves a running process's alone.
TEST(Startup, TheFoldersOfKilledRunsGoAtTheStart) {
  QProcess ended;
  ended.start(QStringLiteral("/bin/true"), {});
  ASSERT_TRUE(ended.waitForStarted(5000));
  const qint64 endedPid = ended.processId();
  ASSERT_TRUE(ended.waitForFinished(5000));
  const QString tmp = qEnvironmentVariable("TMPDIR");
  const QString killed = tmp + QStringLiteral("/mivora-%1-Killed").arg(endedPid);
  const QString live = tmp + QStringLiteral("/trancor-%1-Living").arg(QCoreApplication::applicationPid());
  ASSERT_TRUE(QDir().mkpath(killed + QStringLiteral("/demo-abcdef")));
  ASSERT_TRUE(QDir().mkpath(live));
  Program program;
  EXPECT_TRUE(WaitUntil([] { return LogSays(QStringLiteral("InstanceChannel, listening")); }, 20000));
  EXPECT_TRUE(WaitUntil([&] { return !QFile::exists(killed); }, 5000));
  EXPECT_TRUE(QFile::exists(live));
  QDir(live).removeRecursively();
}

}  // namespace
}  // namespace mivora::test
