#pragma once
// Progress on the program's launcher entry: the launcher-entry "Update"
// signal on the session bus, which docks and task bars that show progress
// on an application's icon listen to. Without a session bus there is no
// backend, and the taskbar calls do nothing. Every signal is sent from the
// bus thread (DesktopBusThread.h), so neither the window's thread nor the
// batch worker waits for a bus.

#include <QDBusConnection>

#include <memory>

#include "common/SystemQueries.h"

namespace mivora {

class LauncherEntryProgress : public TaskbarBackend {
 public:
  // The installed desktop entry, so the launcher shows the progress on Mivora's icon.
  static constexpr const char* kAppUri = "application://org.mivora.Mivora.desktop";

  // Over the connection `bus`; null when it is not connected.
  static std::unique_ptr<LauncherEntryProgress> Connect(const QDBusConnection& bus);
  // Over a connection of its own to the session bus, opened on the bus
  // thread with the first update (a log line and nothing more without one).
  static std::unique_ptr<LauncherEntryProgress> OnSessionBus();
  // Hides the progress again, so the icon shows none after the window closed.
  ~LauncherEntryProgress() override;

  // `window` is not needed here: the launcher entry belongs to the program.
  void SetValue(uint64_t window, uint64_t completed, uint64_t total) override;
  void SetState(uint64_t window, int state) override;

 private:
  struct Line;  // the connection: used and ended on the bus thread only
  explicit LauncherEntryProgress(std::shared_ptr<Line> line) : line_(std::move(line)) {}
  void Send(double progress, bool visible);

  // The taskbar functions call a backend under their own lock, one call at
  // a time, from the window's thread or the batch worker.
  std::shared_ptr<Line> line_;
  double progress_ = 0.0;  // the last value sent
};

// Makes TaskbarCreate use the launcher entry. Called once at start-up.
void InstallLauncherEntryProgress();

}  // namespace mivora
