// Starting the real program: one instance per session, a second start is
// refused, and the lock goes with the process however it ends.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include "app/SingleInstance.h"
#include "tests/support/GuiTestSupport.h"

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

class Program {
 public:
  Program() {
    process_.setProgram(QStringLiteral(MIVORA_PROGRAM_DIR "/mivora"));
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
  }

  // Killed without any chance to clean up: the kernel drops the lock.
  first->Kill();
  EXPECT_FALSE(LockHeld());

  Program third;
  ASSERT_TRUE(WaitUntil(LockHeld, 20000));
  EXPECT_FALSE(third.Says(kAlreadyRunning, 500));
  EXPECT_EQ(third.process().state(), QProcess::Running);
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
