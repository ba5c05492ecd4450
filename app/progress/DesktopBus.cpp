#include "app/progress/DesktopBus.h"

#include <QDBusError>
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
  QDBusConnection connection = QDBusConnection::connectToBus(address, name_);
  connected_ = connection.isConnected();
  if (!connected_) why_ = address + QStringLiteral(": ") + connection.lastError().message();
}

DesktopBus::~DesktopBus() { QDBusConnection::disconnectFromBus(name_); }

std::optional<QDBusConnection> DesktopBus::Connection() const {
  if (!connected_) return std::nullopt;
  return QDBusConnection(name_);
}

}  // namespace mivora
