#include "app/progress/SleepInhibitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include "app/progress/DesktopBus.h"
#include "app/progress/DesktopBusThread.h"
#include "common/Log.h"

namespace mivora {

namespace {

// The login manager answers at once; a bus that hangs must not hold up the batch.
constexpr int kCallTimeLimitMs = 3000;

// Asks the login manager (on the bus thread); the inhibitor's descriptor, or -1.
int AskLoginManager(const std::string& why) {
  DesktopBus bus(DesktopBus::Kind::kSystem);
  const std::optional<QDBusConnection> connection = bus.Connection();
  if (!connection) {
    MLOG("SleepInhibitor, no system bus (%s); the computer may sleep while converting",
         bus.Why().toLocal8Bit().constData());
    return -1;
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
    return -1;
  }
  // A copy of our own, closed on exec: an engine must not keep the computer
  // awake after the batch.
  const int fd = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  MLOG("SleepInhibitor, %s: %s", why.c_str(), fd >= 0 ? "sleep held off" : "descriptor lost");
  return fd;
}

}  // namespace

std::string SleepInhibitor::ReasonFor(int fileCount) {
  return "Converting " + std::to_string(fileCount) + (fileCount == 1 ? " file" : " files");
}

SleepInhibitor::SleepInhibitor(const std::string& why) : hold_(std::make_shared<Hold>()) {
  PostBusWork([hold = hold_, why] {
    const int fd = AskLoginManager(why);
    std::lock_guard<std::mutex> lock(hold->mutex);
    if (!hold->released) {
      hold->fd = fd;
    } else if (fd >= 0) {
      close(fd);  // the batch ended before the answer came
      MLOG("SleepInhibitor, released");
    }
  });
}

SleepInhibitor::~SleepInhibitor() {
  std::lock_guard<std::mutex> lock(hold_->mutex);
  hold_->released = true;
  if (hold_->fd < 0) return;
  close(hold_->fd);
  hold_->fd = -1;
  MLOG("SleepInhibitor, released");
}

bool SleepInhibitor::Held() const {
  std::lock_guard<std::mutex> lock(hold_->mutex);
  return hold_->fd >= 0;
}

}  // namespace mivora
