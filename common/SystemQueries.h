#pragma once
// Questions to the system and requests it acts on: the GPU encoder probe,
// shutting down, free space, the Windows-version query and the launcher's
// progress display.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace mivora {

// Loads libcuenc.so from the program folder and asks it how many devices
// can open an H.264 encode session. The report reads, for example:
//   "Check CUDA encode feature:\nFound 0 devices for encoder\nResult: Un-support"
// with the probe's findings (why each device counts or not) before "Found"
// when the library gives them. An answer is reused for 30 seconds.
bool GpuEncoderSupported(std::string* report = nullptr);
// From the same answer: a device's encode session also offers H.265 (HEVC).
// A probe library without that question answers no.
bool GpuHevcEncoderSupported();
// The library file GpuEncoderSupported loads.
std::string GpuProbeLibraryPath();

// Mode 0 powers off, mode 1 restarts; any other mode does nothing. Always
// true. The action that does the work can be replaced (tests replace it so
// nothing is ever powered off).
using ShutdownAction = std::function<void(int mode)>;
bool ShutdownComputer(int mode);
// Replaces the action; returns the previous one. A null action restores the
// real one.
ShutdownAction SetShutdownAction(ShutdownAction action);

// Bytes available to the user on the file system of `path` (its nearest
// existing parent when it does not exist yet); 0 when that cannot be read or
// the path is not an absolute local path.
uint64_t FreeSpace(std::string_view path);

// The elevation relaunch exists only on one family of another system.
constexpr bool IsVistaFamily() { return false; }

// Progress on the program's launcher entry. Without a backend every call
// does nothing; the desktop program installs one where the desktop offers
// such a display. `window` names the window whose entry shows it.
enum TaskbarState { kTaskbarNoProgress = 0, kTaskbarNormal = 1, kTaskbarError = 2, kTaskbarPaused = 3 };
class TaskbarBackend {
 public:
  virtual ~TaskbarBackend() = default;
  virtual void SetValue(uint64_t window, uint64_t completed, uint64_t total) = 0;
  virtual void SetState(uint64_t window, int state) = 0;
};
// Factory that TaskbarCreate uses; none by default.
void SetTaskbarBackendFactory(std::function<std::unique_ptr<TaskbarBackend>()> factory);
void TaskbarCreate();
void TaskbarRelease();
void TaskbarSetValue(uint64_t window, uint64_t completed, uint64_t total);
void TaskbarSetState(uint64_t window, int state);

}  // namespace mivora
