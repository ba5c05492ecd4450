#include "app/progress/LauncherEntryProgress.h"

#include <QDBusMessage>
#include <QVariantMap>
#include <optional>

#include "app/progress/DesktopBus.h"
#include "app/progress/DesktopBusThread.h"
#include "common/Log.h"

namespace mivora {
namespace {

constexpr const char* kObjectPath = "/com/mivora/LauncherEntry";
constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

}  // namespace

struct LauncherEntryProgress::Line {
  std::optional<QDBusConnection> given;  // Connect's
  std::unique_ptr<DesktopBus> own;       // OnSessionBus's, made at the first update

  std::optional<QDBusConnection> Connection() {
    if (given) return given;
    if (!own) {
      own = std::make_unique<DesktopBus>(DesktopBus::Kind::kSession);
      if (!own->Connection())
        MLOG("LauncherEntryProgress, no session bus (%s): launcher progress is off",
             own->Why().toLocal8Bit().constData());
    }
    return own->Connection();
  }
};

std::unique_ptr<LauncherEntryProgress> LauncherEntryProgress::Connect(const QDBusConnection& bus) {
  if (!bus.isConnected()) {
    MLOG("LauncherEntryProgress::Connect, no session bus: launcher progress is off");
    return nullptr;
  }
  auto line = std::make_shared<Line>();
  line->given = bus;
  return std::unique_ptr<LauncherEntryProgress>(new LauncherEntryProgress(std::move(line)));
}

std::unique_ptr<LauncherEntryProgress> LauncherEntryProgress::OnSessionBus() {
  return std::unique_ptr<LauncherEntryProgress>(new LauncherEntryProgress(std::make_shared<Line>()));
}

LauncherEntryProgress::~LauncherEntryProgress() {
  Send(0.0, false);
  // The connection ends on the bus thread, after the last update.
  PostBusWork([line = std::move(line_)] {});
}

void LauncherEntryProgress::SetValue(uint64_t, uint64_t completed, uint64_t total) {
  double progress = total == 0 ? 0.0 : static_cast<double>(completed) / static_cast<double>(total);
  if (progress > 1.0) progress = 1.0;
  progress_ = progress;
  Send(progress, true);
}

void LauncherEntryProgress::SetState(uint64_t, int state) {
  Send(progress_, state != kTaskbarNoProgress);
}

void LauncherEntryProgress::Send(double progress, bool visible) {
  PostBusWork([line = line_, progress, visible] {
    const std::optional<QDBusConnection> connection = line->Connection();
    if (!connection) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kInterface, "Update");
    QVariantMap properties;
    properties.insert("progress", progress);
    properties.insert("progress-visible", visible);
    signal << QString(kAppUri) << properties;
    connection->send(signal);
  });
}

void InstallLauncherEntryProgress() {
  SetTaskbarBackendFactory([]() -> std::unique_ptr<TaskbarBackend> {
    // Without an announced session bus nothing is tried: asking for one
    // could start a stray bus daemon just for this.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return nullptr;
    return LauncherEntryProgress::OnSessionBus();
  });
}

}  // namespace mivora
