#include "app/progress/LauncherEntryProgress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include "common/Log.h"

namespace mivora {
namespace {

constexpr const char* kObjectPath = "/com/mivora/LauncherEntry";
constexpr const char* kInterface = "com.canonical.Unity.LauncherEntry";

}  // namespace

std::unique_ptr<LauncherEntryProgress> LauncherEntryProgress::Connect(const QDBusConnection& bus) {
  if (!bus.isConnected()) {
    MLOG("LauncherEntryProgress::Connect, no session bus: launcher progress is off");
    return nullptr;
  }
  return std::unique_ptr<LauncherEntryProgress>(new LauncherEntryProgress(bus));
}

LauncherEntryProgress::~LauncherEntryProgress() { Send(0.0, false); }

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
  QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kInterface, "Update");
  QVariantMap properties;
  properties.insert("progress", progress);
  properties.insert("progress-visible", visible);
  signal << QString(kAppUri) << properties;
  // Sending is safe from any thread; the batch worker reports a job's last
  // progress itself.
  bus_.send(signal);
}

void InstallLauncherEntryProgress() {
  SetTaskbarBackendFactory([]() -> std::unique_ptr<TaskbarBackend> {
    // Without an announced session bus nothing is tried: asking for one
    // could start a stray bus daemon just for this.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return nullptr;
    return LauncherEntryProgress::Connect();
  });
}

}  // namespace mivora
