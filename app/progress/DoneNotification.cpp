#include "app/progress/DoneNotification.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>
#include <memory>

#include "app/progress/DesktopBus.h"
#include "common/Log.h"

namespace mivora {

namespace {

// The notification stays until the desktop's own time runs out.
constexpr int kDesktopDefaultTimeout = -1;

}  // namespace

void NotifyBatchDone(const std::string& report) {
  auto bus = std::make_shared<DesktopBus>(DesktopBus::Kind::kSession);
  const std::optional<QDBusConnection> connection = bus->Connection();
  if (!connection) {
    MLOG("DoneNotification, no desktop notification (%s)", bus->Why().toLocal8Bit().constData());
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopIconName));
  call << QStringLiteral("Mivora") << 0u << QString::fromLatin1(kDesktopIconName) << QStringLiteral("Mivora")
       << QString::fromStdString(report) << QStringList() << hints << kDesktopDefaultTimeout;
  auto* watcher = new QDBusPendingCallWatcher(connection->asyncCall(call), QCoreApplication::instance());
  // The connection lives until the answer (or its absence) is known.
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [watcher, bus] {
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError()) {
      MLOG("DoneNotification, no notification service: %s", reply.error().message().toLocal8Bit().constData());
    } else {
      MLOG("DoneNotification, the desktop was told the batch ended");
    }
    watcher->deleteLater();
  });
}

}  // namespace mivora
