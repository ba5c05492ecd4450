#include "app/progress/DoneNotification.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

#include "app/progress/DesktopBus.h"
#include "app/progress/DesktopBusThread.h"
#include "common/Log.h"

namespace mivora {

namespace {

// The notification stays until the desktop's own time runs out.
constexpr int kDesktopDefaultTimeout = -1;
// A notification service answers at once; one that does not is given up.
constexpr int kCallTimeLimitMs = 5000;

}  // namespace

void NotifyBatchDone(const std::string& report) {
  PostBusWork([report] {
    DesktopBus bus(DesktopBus::Kind::kSession);
    const std::optional<QDBusConnection> connection = bus.Connection();
    if (!connection) {
      MLOG("DoneNotification, no desktop notification (%s)", bus.Why().toLocal8Bit().constData());
      return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopIconName));
    call << QStringLiteral("Mivora") << 0u << QString::fromLatin1(kDesktopIconName) << QStringLiteral("Mivora")
         << QString::fromStdString(report) << QStringList() << hints << kDesktopDefaultTimeout;
    const QDBusReply<uint> reply = connection->call(call, QDBus::Block, kCallTimeLimitMs);
    if (!reply.isValid()) {
      MLOG("DoneNotification, no notification service: %s", reply.error().message().toLocal8Bit().constData());
    } else {
      MLOG("DoneNotification, the desktop was told the batch ended");
    }
  });
}

}  // namespace mivora
