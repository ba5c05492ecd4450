#include "app/progress/SleepInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include "app/progress/DesktopBus.h"
#include "common/Log.h"

namespace mivora {

namespace {

// The login manager answers at once; a bus that hangs must not hold up the start.
constexpr int kCallTimeLimitMs = 3000;

}  // namespace

std::string SleepInhibitor::ReasonFor(int fileCount) {
  return "Converting " + std::to_string(fileCount) + (fileCount == 1 ? " file" : " files");
}

SleepInhibitor::SleepInhibitor(const std::string& why) {
  DesktopBus bus(DesktopBus::Kind::kSystem);
  const std::optional<QDBusConnection> connection = bus.Connection();
  if (!connection) {
    MLOG("SleepInhibitor, no system bus (%s); the computer may sleep while converting",
         bus.Why().toLocal8Bit().constData());
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
      QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
  call << QStringLiteral("sleep:idle") << QStringLiteral("Mivora") << QString::fromStdString(why)
       << QStringLiteral("block");
  const QDBusReply<QDBusUnixFileDescriptor> reply = connection->call(call, QDBus::Block, kCallTimeLimitMs);
  if (!reply.isValid() || !reply.value().isValid()) {
    MLOG("SleepInhibitor, no login manager to keep the computer awake: %s",
         reply.error().message().toLocal8Bit().constData());
    return;
  }
  // A copy of our own, closed on exec: an engine must not keep the computer
  // awake after the batch.
  fd_ = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  MLOG("SleepInhibitor, %s: %s", why.c_str(), fd_ >= 0 ? "sleep held off" : "descriptor lost");
}

SleepInhibitor::~SleepInhibitor() {
  if (fd_ < 0) return;
  close(fd_);
  MLOG("SleepInhibitor, released");
}

}  // namespace mivora
