// The progress window and the desktop's buses: a private bus daemon with
// stand-ins for the login manager and the notification service, which record
// what the program asks of them.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QVariantMap>
#include <mutex>

#include "app/progress/CConvertingTray.h"
#include "app/progress/CDlgConverting.h"
#include "app/progress/DoneNotification.h"
#include "common/Log.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

using test::MessageBoxAnswerer;
using test::WaitUntil;

// The login manager's Inhibit: hands out the writing end of a pipe and keeps
// the reading end, which reports a hang-up once every copy of the writing
// end is closed.
class LoginManagerStandIn : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

 public:
  ~LoginManagerStandIn() override {
    for (int fd : held_) close(fd);
  }
  QStringList Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // How many handed-out inhibitors are closed by now.
  int Released() {
    std::lock_guard<std::mutex> lock(mutex_);
    int released = 0;
    for (int fd : held_) {
      pollfd watch{fd, 0, 0};
      if (poll(&watch, 1, 0) == 1 && (watch.revents & POLLHUP)) ++released;
    }
    return released;
  }

 public slots:
  QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return {};
    QDBusUnixFileDescriptor handed(ends[1]);  // a copy travels
    close(ends[1]);
    std::lock_guard<std::mutex> lock(mutex_);
    held_.push_back(ends[0]);
    calls_ << QStringList{what, who, why, mode}.join(QLatin1Char('|'));
    return handed;
  }

 private:
  std::mutex mutex_;
  QStringList calls_;
  std::vector<int> held_;
};

class NotificationsStandIn : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  QStringList Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 public slots:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
              const QStringList&, const QVariantMap& hints, int) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_ << QStringList{app, icon, summary, body, hints.value(QStringLiteral("desktop-entry")).toString()}.join(
        QLatin1Char('|'));
    return static_cast<uint>(calls_.size());
  }

 private:
  std::mutex mutex_;
  QStringList calls_;
};

// A private bus daemon named as both the system and the session bus, with
// the two stand-ins answering on their own thread (the window's thread
// blocks while it asks the login manager).
class DesktopBuses {
 public:
  DesktopBuses() {
    test::CommandResult started =
        test::RunCommand({"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"});
    const QStringList lines = QString::fromStdString(started.output).split('\n', Qt::SkipEmptyParts);
    if (started.exitCode != 0 || lines.size() < 2) return;
    address_ = lines[0].trimmed();
    pid_ = lines[1].trimmed().toInt();
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", address_.toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    thread_.start();
    login_.moveToThread(&thread_);
    notifications_.moveToThread(&thread_);
  }
  ~DesktopBuses() {
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-ins"));
    thread_.quit();
    thread_.wait();
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  bool Started() const { return pid_ > 0; }
  // Puts the stand-ins on the bus (`login`, `notifications`: which of them).
  bool Serve(bool login, bool notifications) {
    QDBusConnection bus = QDBusConnection::connectToBus(address_, QStringLiteral("stand-ins"));
    if (login && !(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &login_,
                                      QDBusConnection::ExportAllSlots) &&
                   bus.registerService(QStringLiteral("org.freedesktop.login1"))))
      return false;
    if (notifications && !(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications_,
                                              QDBusConnection::ExportAllSlots) &&
                           bus.registerService(QStringLiteral("org.freedesktop.Notifications"))))
      return false;
    return true;
  }
  LoginManagerStandIn& Login() { return login_; }
  NotificationsStandIn& Notifications() { return notifications_; }

 private:
  QString address_;
  int pid_ = 0;
  QThread thread_;
  LoginManagerStandIn login_;
  NotificationsStandIn notifications_;
};

constexpr const char* kSmallArgs = "-vcodec mpeg4 -acodec mp2 -s 96x64 ";
constexpr const char* kSlowArgs = "-vcodec libx264 -acodec mp2 -s 1280x720 ";

std::string Clip(int seconds) {
  const std::string path = test::MakeTempDir("clips") + "/clip.avi";
  test::GenerateClip(path, {.seconds = seconds, .width = 160, .height = 120});
  return path;
}

bool LogSays(const char* text) {
  QFile log(QString::fromStdString(LogFilePath()));
  return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
}

class DesktopBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!buses_.Started()) GTEST_SKIP() << "no dbus-daemon to start";
    CConvertingTray::AssumeAvailable(true);
  }
  DesktopBuses buses_;
  std::string out_ = test::MakeTempDir("out");
};

TEST_F(DesktopBusTest, TheComputerStaysAwakeForTheBatchAndNoNoticeGoesToAWatchedWindow) {
  ASSERT_TRUE(buses_.Serve(true, true));
  const std::string clip = Clip(1);
  MessageBoxAnswerer answers;
  QPointer<CDlgConverting> dialog = new CDlgConverting;
  dialog->AddJob({clip, out_ + "/a.avi", "10 KB", "avi", kSmallArgs, 1});
  dialog->AddJob({clip, out_ + "/b.avi", "10 KB", "avi", kSmallArgs, 1});
  ASSERT_TRUE(dialog->Start());
  EXPECT_EQ(buses_.Login().Calls(), QStringList{"sleep:idle|Mivora|Converting 2 files|block"});
  EXPECT_EQ(buses_.Login().Released(), 0) << "released while the batch runs";
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 60000));
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
  EXPECT_EQ(buses_.Login().Released(), 1);
  // A notice would have been sent before the report box.
  QTest::qWait(300);
  EXPECT_TRUE(buses_.Notifications().Calls().isEmpty());
}

TEST_F(DesktopBusTest, ACancelledBatchLetsTheComputerSleepAgain) {
  ASSERT_TRUE(buses_.Serve(true, true));
  const std::string clip = Clip(20);
  MessageBoxAnswerer answers({1});  // Yes, cancel
  QPointer<CDlgConverting> dialog = new CDlgConverting;
  dialog->AddJob({clip, out_ + "/long.mp4", "10 KB", "mp4", kSlowArgs, 20});
  ASSERT_TRUE(dialog->Start());
  ASSERT_TRUE(WaitUntil([&] { return dialog->Runner().IsRunning(); }));
  EXPECT_EQ(buses_.Login().Calls(), QStringList{"sleep:idle|Mivora|Converting 1 file|block"});
  EXPECT_EQ(buses_.Login().Released(), 0);
  dialog->Cancel();
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 30000));
  EXPECT_EQ(buses_.Login().Released(), 1);
  EXPECT_TRUE(buses_.Notifications().Calls().isEmpty()) << "a cancel is no finished batch";
}

TEST_F(DesktopBusTest, ABatchEndingInTheTrayIsAnnouncedOnceAndStillReported) {
  ASSERT_TRUE(buses_.Serve(true, true));
  const std::string clip = Clip(1);
  MessageBoxAnswerer answers;
  QPointer<CDlgConverting> dialog = new CDlgConverting;
  dialog->AddJob({clip, out_ + "/a.avi", "10 KB", "avi", kSmallArgs, 1});
  ASSERT_TRUE(dialog->Start());
  dialog->MinimizeToTray();
  ASSERT_FALSE(dialog->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 60000));
  EXPECT_TRUE(WaitUntil([&] { return !buses_.Notifications().Calls().isEmpty(); }, 5000));
  EXPECT_EQ(buses_.Notifications().Calls(),
            QStringList{"Mivora|org.mivora.Mivora|Mivora|Converted successfully!|org.mivora.Mivora"});
  // The window came back for its report as before.
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
}

TEST_F(DesktopBusTest, WithoutTheServicesTheBatchRunsAndTheLogSaysSo) {
  ASSERT_TRUE(buses_.Serve(false, false));
  const std::string clip = Clip(1);
  MessageBoxAnswerer answers;
  QPointer<CDlgConverting> dialog = new CDlgConverting;
  dialog->AddJob({clip, out_ + "/a.avi", "10 KB", "avi", kSmallArgs, 1});
  ASSERT_TRUE(dialog->Start());
  dialog->MinimizeToTray();
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 60000));
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
  EXPECT_TRUE(LogSays("no login manager to keep the computer awake"));
  EXPECT_TRUE(WaitUntil([] { return LogSays("no notification service"); }, 5000));
}

}  // namespace
}  // namespace mivora

#include "DesktopBusTest.moc"
