// The progress window and the desktop's buses: a private bus daemon with
// stand-ins for the login manager and the notification service, which record
// what the program asks of them.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QElapsedTimer>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QVariantMap>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

#include "app/progress/BusHandshake.h"
#include "app/progress/CConvertingTray.h"
#include "app/progress/CDlgConverting.h"
#include "app/progress/DesktopBus.h"
#include "app/progress/DoneNotification.h"
#include "app/progress/LauncherEntryProgress.h"
#include "common/SystemQueries.h"
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
  test::GenerateClip(path, {.seconds = static_cast<double>(seconds), .width = 160, .height = 120});
  return path;
}

bool LogSays(const char* text) {
  QFile log(QString::fromStdString(LogFilePath()));
  return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
}

int LogLinesSaying(const char* text) {
  QFile log(QString::fromStdString(LogFilePath()));
  return log.open(QIODevice::ReadOnly) ? static_cast<int>(log.readAll().count(text)) : 0;
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
  // Asked from the bus thread, so the window never waits for the answer.
  EXPECT_TRUE(WaitUntil([&] { return !buses_.Login().Calls().isEmpty(); }, 10000));
  EXPECT_EQ(buses_.Login().Calls(), QStringList{"sleep:idle|Mivora|Converting 2 files|block"});
  EXPECT_EQ(buses_.Login().Released(), 0) << "released while the batch runs";
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 60000));
  EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
  EXPECT_TRUE(WaitUntil([&] { return buses_.Login().Released() == 1; }, 10000));
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
  EXPECT_TRUE(WaitUntil([&] { return !buses_.Login().Calls().isEmpty(); }, 10000));
  EXPECT_EQ(buses_.Login().Calls(), QStringList{"sleep:idle|Mivora|Converting 1 file|block"});
  EXPECT_EQ(buses_.Login().Released(), 0);
  dialog->Cancel();
  ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 30000));
  EXPECT_TRUE(WaitUntil([&] { return buses_.Login().Released() == 1; }, 10000));
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
  EXPECT_TRUE(WaitUntil([] { return LogSays("no login manager to keep the computer awake"); }, 10000));
  EXPECT_TRUE(WaitUntil([] { return LogSays("no notification service"); }, 10000));
}

// The bus's side of a connection's opening: the authentication lines up to
// BEGIN (every client is let in), and the reply to the first message (the
// client's Hello, which names it on the bus).
class BusOpening {
 public:
  // False when the client went away first.
  static bool Authenticate(int fd, std::string* in, const std::atomic<bool>& stop) {
    while (true) {
      const size_t end = in->find("\r\n");
      if (end == std::string::npos) {
        if (!ReadMore(fd, in, stop)) return false;
        continue;
      }
      std::string line = in->substr(0, end);
      in->erase(0, end + 2);
      if (!line.empty() && line[0] == '\0') line.erase(0, 1);
      if (line.rfind("AUTH", 0) == 0) Send(fd, "OK 0123456789abcdef0123456789abcdef\r\n");
      if (line == "NEGOTIATE_UNIX_FD") Send(fd, "AGREE_UNIX_FD\r\n");
      if (line == "BEGIN") return true;
    }
  }
  static bool AnswerHello(int fd, std::string* in, const std::atomic<bool>& stop) {
    while (in->size() < 16 || in->size() < MessageSize(*in))
      if (!ReadMore(fd, in, stop)) return false;
    uint32_t serial = 0;
    std::memcpy(&serial, in->data() + 8, 4);
    in->erase(0, MessageSize(*in));
    Send(fd, HelloReply(serial));
    return true;
  }
  static bool ReadMore(int fd, std::string* in, const std::atomic<bool>& stop) {
    while (!stop) {
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 50) != 1) continue;
      char buffer[4096];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return false;
      in->append(buffer, static_cast<size_t>(n));
      return true;
    }
    return false;
  }

 private:
  static void Send(int fd, const std::string& bytes) {
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::perror("bus stand-in");
  }
  static uint32_t Word(const std::string& message, size_t at) {
    uint32_t word = 0;
    std::memcpy(&word, message.data() + at, 4);
    return word;
  }
  // A message (little-endian, as this machine's clients write them): its
  // fixed start, its header fields padded to 8 bytes, its body.
  static size_t MessageSize(const std::string& message) {
    return 16 + ((Word(message, 12) + 7) & ~size_t{7}) + Word(message, 4);
  }
  // A method return to `serial` carrying the unique name ":1.42".
  static std::string HelloReply(uint32_t serial) {
    std::string fields = std::string("\x05\x01u\0", 4) + std::string(reinterpret_cast<const char*>(&serial), 4) +
                         std::string("\x08\x01g\0\x01s\0", 7);
    const std::string name = ":1.42";
    const uint32_t nameSize = static_cast<uint32_t>(name.size());
    const std::string body = std::string(reinterpret_cast<const char*>(&nameSize), 4) + name + '\0';
    const uint32_t header[] = {static_cast<uint32_t>(body.size()), 1, static_cast<uint32_t>(fields.size())};
    std::string message = std::string("l\x02\x00\x01", 4) + std::string(reinterpret_cast<const char*>(header), 12) +
                          fields;
    message.resize((message.size() + 7) & ~size_t{7}, '\0');
    return message + body;
  }
};

// A bus that hangs: its socket takes connections into its queue and never
// accepts them, or accepts them and never says a word, or lets its clients
// in (authentication, Hello) and then never answers a call, or then stops
// reading. It is named as both the system and the session bus while it lives.
class HungBus {
 public:
  enum class Kind {
    kNeverAccepts,
    kAcceptsButNeverAnswers,
    kLetsInThenIgnoresHello,
    kOpensThenNeverAnswers,
    kOpensThenStopsReading,
  };
  explicit HungBus(Kind kind) : kind_(kind) {
    const std::string path = test::MakeTempDir("hung-bus") + "/bus";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 64) != 0) return;
    if (kind != Kind::kNeverAccepts) accepter_ = std::thread([this] { Accept(); });
    for (const char* name : {"DBUS_SYSTEM_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS"}) {
      saved_.emplace_back(name, qgetenv(name));
      qputenv(name, QByteArray("unix:path=") + path.c_str());
    }
  }
  ~HungBus() {
    stop_ = true;
    if (accepter_.joinable()) accepter_.join();
    for (std::thread& talk : talks_) talk.join();
    for (int fd : held_) close(fd);
    close(fd_);
    for (const auto& [name, value] : saved_) {
      if (value.isEmpty()) {
        qunsetenv(name);
      } else {
        qputenv(name, value);
      }
    }
  }
  static const char* Name(Kind kind) {
    switch (kind) {
      case Kind::kNeverAccepts: return "never accepts";
      case Kind::kAcceptsButNeverAnswers: return "never answers";
      case Kind::kLetsInThenIgnoresHello: return "lets clients in, then never answers their Hello";
      case Kind::kOpensThenNeverAnswers: return "lets clients in, then never answers a call";
      case Kind::kOpensThenStopsReading: return "lets clients in, then stops reading";
    }
    return "";
  }

 private:
  void Accept() {
    while (!stop_) {
      pollfd ready{fd_, POLLIN, 0};
      if (poll(&ready, 1, 50) != 1) continue;
      const int taken = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (taken < 0) continue;
      held_.push_back(taken);
      if (kind_ != Kind::kAcceptsButNeverAnswers) talks_.emplace_back([this, taken] { Talk(taken); });
    }
  }
  // One client's connection, on a thread of its own.
  void Talk(int fd) {
    std::string in;
    if (!BusOpening::Authenticate(fd, &in, stop_)) return;
    if (kind_ != Kind::kLetsInThenIgnoresHello && !BusOpening::AnswerHello(fd, &in, stop_)) return;
    if (kind_ == Kind::kOpensThenStopsReading) {
      while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return;
    }
    while (BusOpening::ReadMore(fd, &in, stop_)) in.clear();  // reads every call, answers none
  }

  Kind kind_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread accepter_;
  std::vector<int> held_;             // the accepter's thread only
  std::vector<std::thread> talks_;    // the accepter's thread only
  std::vector<std::pair<const char*, QByteArray>> saved_;
};

// Ends the test process when the window's thread stops turning its event
// loop: a hang is a failure, not a test that never ends.
class WindowThreadWatchdog {
 public:
  explicit WindowThreadWatchdog(int limitMs) {
    QObject::connect(&beat_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      largestGapMs_ = std::max(largestGapMs_, now - lastBeatMs_);
      lastBeatMs_ = now;
      alive_ = now;
    });
    clock_.start();
    beat_.start(10);
    watcher_ = std::thread([this, limitMs] {
      while (!stop_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (clock_.elapsed() - alive_ > limitMs) {
          std::fprintf(stderr, "the window's thread has not moved for %d ms\n", limitMs);
          std::_Exit(1);
        }
      }
    });
  }
  ~WindowThreadWatchdog() {
    stop_ = true;
    watcher_.join();
  }
  qint64 LargestGapMs() const { return largestGapMs_; }

 private:
  QTimer beat_;
  QElapsedTimer clock_;
  qint64 lastBeatMs_ = 0;
  qint64 largestGapMs_ = 0;
  std::atomic<qint64> alive_{0};
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

// How long the program's way out may take with a batch to stop and a bus
// that hangs.
constexpr qint64 kQuitLimitMs = 2000;

const HungBus::Kind kHangs[] = {HungBus::Kind::kNeverAccepts, HungBus::Kind::kAcceptsButNeverAnswers,
                                HungBus::Kind::kLetsInThenIgnoresHello, HungBus::Kind::kOpensThenNeverAnswers,
                                HungBus::Kind::kOpensThenStopsReading};
// Buses that say nothing at all.
const HungBus::Kind kSilentHangs[] = {HungBus::Kind::kNeverAccepts, HungBus::Kind::kAcceptsButNeverAnswers};

TEST(BusHandshake, NamesTheSocketOfAnAddress) {
  using namespace std::string_literals;
  const struct {
    std::string address;
    std::optional<std::string> socket;
  } rows[] = {
      {"unix:path=/run/user/1000/bus", "/run/user/1000/bus"s},
      {"unix:abstract=/tmp/dbus-AbC,guid=0123", "\0/tmp/dbus-AbC"s},
      {"unix:guid=0123,path=/y", "/y"s},
      {"unix:path=/tmp/a%20b%2cc", "/tmp/a b,c"s},
      {"tcp:host=localhost,port=1;unix:path=/x", "/x"s},
      {"tcp:host=localhost,port=1", std::nullopt},
      {"unix:tmpdir=/tmp", std::nullopt},
      {"unix:path=/broken%2", std::nullopt},
      {"unix:path=/broken%zz", std::nullopt},
      {"unix:path=", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(BusSocketName(row.address), row.socket) << row.address;
}

TEST_F(DesktopBusTest, ALiveBusAnswersAHungOneNotWithinTheLimit) {
  std::string why;
  EXPECT_TRUE(BusAnswers(qgetenv("DBUS_SESSION_BUS_ADDRESS").toStdString(), 2000, &why)) << why;
  EXPECT_FALSE(BusAnswers("unix:path=" + test::TestRoot() + "/no-bus-here", 2000, &why));
  for (HungBus::Kind kind : kSilentHangs) {
    HungBus bus(kind);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(BusAnswers(qgetenv("DBUS_SESSION_BUS_ADDRESS").toStdString(), 300, &why));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_NE(why.find("did not answer"), std::string::npos) << why;
  }
}

// Every step a piece of bus work takes has its limit: opening a connection
// (authentication and Hello included) and a call, so that the bus thread
// goes on to the next piece, however the bus hangs.
TEST(HungDesktopBus, OpeningAndCallingEndWithinTheirLimits) {
  for (HungBus::Kind kind : kHangs) {
    SCOPED_TRACE(HungBus::Name(kind));
    HungBus bus(kind);
    std::atomic<qint64> tookMs{-1};
    std::thread work([&] {
      QElapsedTimer clock;
      clock.start();
      {
        DesktopBus session(DesktopBus::Kind::kSession);
        if (const std::optional<QDBusConnection> connection = session.Connection()) {
          QDBusMessage call = QDBusMessage::createMethodCall(
              QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
              QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("GetServerInformation"));
          EXPECT_EQ(connection->call(call, QDBus::Block, 1000).type(), QDBusMessage::ErrorMessage);
        }
      }
      tookMs = clock.elapsed();
    });
    // The opening's own limit (2 s) and the call's (1 s), and some slack.
    const bool ended = WaitUntil([&] { return tookMs >= 0; }, 40000);
    work.join();
    EXPECT_TRUE(ended);
    EXPECT_LT(tookMs, 4500);
  }
}

// With both buses hanging, Start returns at once, the window keeps moving
// through the batch, and what could not be said is a log line.
TEST(HungDesktopBus, TheProgressWindowKeepsMovingAndTheBatchEnds) {
  const std::string clip = Clip(2);
  for (HungBus::Kind kind : kHangs) {
    SCOPED_TRACE(HungBus::Name(kind));
    HungBus bus(kind);
    InstallLauncherEntryProgress();
    CConvertingTray::AssumeAvailable(true);
    const std::string out = test::MakeTempDir("out");
    MessageBoxAnswerer answers;
    WindowThreadWatchdog watchdog(20000);
    const int inhibitorFailures = LogLinesSaying("SleepInhibitor, no ");
    const int noticeFailures = LogLinesSaying("DoneNotification, no ");
    QPointer<CDlgConverting> dialog = new CDlgConverting;
    dialog->AddJob({clip, out + "/a.avi", "10 KB", "avi", kSmallArgs, 2});
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(dialog->Start());
    EXPECT_LT(clock.elapsed(), 1000) << "Start waited for the bus";
    dialog->MinimizeToTray();
    ASSERT_TRUE(WaitUntil([&] { return dialog.isNull(); }, 60000));
    EXPECT_EQ(answers.Texts(), QStringList{"Converted successfully!"});
    EXPECT_LT(watchdog.LargestGapMs(), 1000) << "the window stood still";
    EXPECT_TRUE(WaitUntil([&] { return LogLinesSaying("SleepInhibitor, no ") > inhibitorFailures; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return LogLinesSaying("DoneNotification, no ") > noticeFailures; }, 10000));
    SetTaskbarBackendFactory(nullptr);
  }
}

// The program's way out through SIGTERM works while a bus hangs: a batch in
// the progress window of a process of its own, ended as the session ends it.
TEST(HungDesktopBus, SigtermEndsAProgramWhoseBatchTalksToAHungBus) {
  const std::string clip = Clip(20);
  for (HungBus::Kind kind : kHangs) {
    SCOPED_TRACE(HungBus::Name(kind));
    HungBus bus(kind);
    const std::string out = test::MakeTempDir("out") + "/long.mp4";
    QProcess program;
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(QStringLiteral(MIVORA_TEST_BINARY_DIR "/gui_progress/hung_bus_batch"),
                  {QString::fromStdString(clip), QString::fromStdString(out)});
    ASSERT_TRUE(WaitUntil([&] { return program.canReadLine() || program.state() == QProcess::NotRunning; }, 20000))
        << "the batch's Start never returned";
    EXPECT_EQ(program.readLine().trimmed(), "started");
    QTest::qWait(500);
    QElapsedTimer clock;
    clock.start();
    program.terminate();
    const bool ended = program.waitForFinished(40000);
    EXPECT_LT(clock.elapsed(), kQuitLimitMs) << "the way out waited for the bus";
    if (!ended) {
      program.kill();
      program.waitForFinished(5000);
    }
    EXPECT_TRUE(ended) << "SIGTERM did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return test::ProcessesMentioning(out) == 0; }, 10000)) << "an engine outlived it";
  }
}

}  // namespace
}  // namespace mivora

#include "DesktopBusTest.moc"
