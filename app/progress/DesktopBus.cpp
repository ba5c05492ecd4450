#include "app/progress/DesktopBus.h"

#include <QDBusError>
#include <QDBusMessage>
#include <atomic>
#include <string>

#include "app/progress/BusHandshake.h"

namespace mivora {

namespace {

constexpr const char* kStandardSystemBus = "unix:path=/run/dbus/system_bus_socket";
// A bus answers its first request at once; one that has not within this
// time is taken as hung.
constexpr int kAnswerLimitMs = 2000;

QString BusAddress(DesktopBus::Kind kind) {
  if (kind == DesktopBus::Kind::kSession) return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  const QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
  return address.isEmpty() ? QString::fromLatin1(kStandardSystemBus) : address;
}

}  // namespace

DesktopBus::DesktopBus(Kind kind) {
  static std::atomic<int> serial{0};
  name_ = QStringLiteral("mivora-desktop-bus-%1").arg(++serial);
  const QString address = BusAddress(kind);
  if (address.isEmpty()) {
    why_ = QStringLiteral("no session bus is announced");
    return;
  }
  std::string silence;
  if (!BusAnswers(address.toStdString(), kAnswerLimitMs, &silence)) {
    why_ = address + QStringLiteral(": ") + QString::fromStdString(silence);
    return;
  }
  // Opened as a connection to a peer, which waits for nothing: the library
  // authenticates as messages flow, under the limits of the calls that need
  // it. The bus's own first request (Hello, which names this client on it)
  // is then an ordinary call with a limit. A bus connection proper would
  // send that Hello itself and wait for its answer with no limit of ours.
  QDBusConnection connection = QDBusConnection::connectToPeer(address, name_);
  if (!connection.isConnected()) {
    why_ = address + QStringLiteral(": ") + connection.lastError().message();
    return;
  }
  const QDBusMessage hello = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("Hello"));
  const QDBusMessage named = connection.call(hello, QDBus::Block, kAnswerLimitMs);
  connected_ = named.type() == QDBusMessage::ReplyMessage;
  if (!connected_) why_ = address + QStringLiteral(": ") + named.errorMessage();
}

DesktopBus::~DesktopBus() { QDBusConnection::disconnectFromPeer(name_); }

std::optional<QDBusConnection> DesktopBus::Connection() const {
  if (!connected_) return std::nullopt;
  return QDBusConnection(name_);
}

}  // namespace mivora
