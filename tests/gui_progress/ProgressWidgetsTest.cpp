#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

#include "app/progress/CConvertingTray.h"
#include "app/progress/LauncherEntryProgress.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CImageCheckBox.h"
#include "ui/CProgressListCtrl.h"

namespace mivora {
namespace {

TEST(ProgressList, ClampsProgressAndReportsTheRowAButtonIsInNow) {
  ui::CProgressListCtrl list;
  list.resize(700, 300);
  list.SetColumns({"File", "Progress", " "}, {100, 140, 80}, 1, 2, "Delete");
  for (const char* name : {"a", "b", "c"}) list.AddRow({name});
  list.show();

  struct Case {
    int percent, shown;
  } cases[] = {{50, 50}, {101, 100}, {-3, 0}, {100, 100}, {0, 0}};
  for (const Case& c : cases) {
    list.SetProgress(1, c.percent);
    EXPECT_EQ(list.Progress(1), c.shown) << c.percent;
  }
  list.SetProgress(7, 20);  // no such row: nothing happens

  QSignalSpy clicks(&list, &ui::CProgressListCtrl::rowButtonClicked);
  QAbstractButton* lastButton = list.RowButton(2);
  list.RemoveRow(0);
  QTest::mouseClick(lastButton, Qt::LeftButton);
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks[0][0].toInt(), 1);  // "c" moved up to row 1
  EXPECT_EQ(list.CellText(1, 0), "c");

  list.SetButtonEnabled(1, false);
  QTest::mouseClick(list.RowButton(1), Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
}

TEST(ImageCheckBox, EachClickFlipsTheOption) {
  ui::CImageCheckBox box("Delete unfinished files", 25);
  box.setChecked(true);
  box.show();
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(8, 8));  // on the image
  EXPECT_FALSE(box.isChecked());
  QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(60, 8));  // on the label
  EXPECT_TRUE(box.isChecked());
}

TEST(ConvertingTray, ShowsSixFramesInTurnEvery300Ms) {
  CConvertingTray tray;
  const int first = CConvertingTray::AnimationIndex();
  QList<qint64> icons;
  for (int step = 0; step < 7; ++step) {
    tray.Advance();
    EXPECT_EQ(tray.ShownFrame(), (first + step) % 6);
    icons << tray.Icon().icon().cacheKey();
  }
  EXPECT_EQ(icons.size(), 7);
  EXPECT_EQ(QSet<qint64>(icons.begin(), icons.end()).size(), 6);  // six different frames
  EXPECT_EQ(icons[0], icons[6]);                                  // then the first again
  for (int i = 0; i < 6; ++i)
    EXPECT_FALSE(QIcon(QString(":/progress/tray_%1.svg").arg(i)).pixmap(32).isNull()) << i;

  tray.StartAnimation();
  const int shown = tray.ShownFrame();
  EXPECT_TRUE(test::WaitUntil([&] { return tray.ShownFrame() == (shown + 2) % 6; }, 2000));
  tray.Remove();
  EXPECT_FALSE(tray.Animating());
}

// A private session bus for one test.
class PrivateBus {
 public:
  PrivateBus() {
    test::CommandResult started = test::RunCommand(
        {"dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"});
    QStringList lines = QString::fromStdString(started.output).split('\n', Qt::SkipEmptyParts);
    if (started.exitCode != 0 || lines.size() < 2) return;
    address_ = lines[0].trimmed();
    pid_ = lines[1].trimmed().toInt();
  }
  ~PrivateBus() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }
  const QString& Address() const { return address_; }

 private:
  QString address_;
  int pid_ = 0;
};

class UpdateListener : public QObject {
  Q_OBJECT
 public:
  QList<QVariantList> updates;
 public slots:
  void OnUpdate(const QDBusMessage& message) { updates << message.arguments(); }
};

TEST(LauncherEntryProgress, SendsProgressUpdatesAndHidesThemWhenReleased) {
  PrivateBus bus;
  if (bus.Address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to start";
  QDBusConnection sender = QDBusConnection::connectToBus(bus.Address(), "progress-sender");
  QDBusConnection receiver = QDBusConnection::connectToBus(bus.Address(), "progress-receiver");
  ASSERT_TRUE(sender.isConnected());
  UpdateListener listener;
  ASSERT_TRUE(receiver.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update",
                               &listener, SLOT(OnUpdate(QDBusMessage))));

  SetTaskbarBackendFactory([&]() -> std::unique_ptr<TaskbarBackend> {
    return LauncherEntryProgress::Connect(sender);
  });
  TaskbarCreate();
  TaskbarSetState(0, kTaskbarNormal);
  TaskbarSetValue(0, 49, 100);
  TaskbarSetValue(0, 150, 100);
  TaskbarRelease();
  SetTaskbarBackendFactory(nullptr);

  ASSERT_TRUE(test::WaitUntil([&] { return listener.updates.size() == 4; }, 5000));
  struct Expected {
    double progress;
    bool visible;
  } expected[] = {{0.0, true}, {0.49, true}, {1.0, true}, {0.0, false}};
  for (int i = 0; i < 4; ++i) {
    const QVariantList& update = listener.updates[i];
    ASSERT_EQ(update.size(), 2);
    EXPECT_EQ(update[0].toString(), "application://org.mivora.Mivora.desktop");
    QVariantMap properties = qdbus_cast<QVariantMap>(update[1]);
    EXPECT_DOUBLE_EQ(properties["progress"].toDouble(), expected[i].progress) << i;
    EXPECT_EQ(properties["progress-visible"].toBool(), expected[i].visible) << i;
  }
  QDBusConnection::disconnectFromBus("progress-sender");
  QDBusConnection::disconnectFromBus("progress-receiver");
}

TEST(LauncherEntryProgress, NothingWithoutABus) {
  QDBusConnection none = QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "no-bus");
  EXPECT_EQ(LauncherEntryProgress::Connect(none), nullptr);
  QDBusConnection::disconnectFromBus("no-bus");
}

}  // namespace
}  // namespace mivora

#include "ProgressWidgetsTest.moc"
