#include "common/SystemQueries.h"

#include <dlfcn.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <mutex>

#include "common/Folders.h"
#include "platform/PowerControl.h"

namespace mivora {
namespace {

std::mutex g_shutdownMutex;
ShutdownAction g_shutdownAction;  // guarded by g_shutdownMutex; null means the real one

void RealShutdown(int mode) {
  if (mode == 0) RequestPowerAction(PowerAction::PowerOff);
  else if (mode == 1) RequestPowerAction(PowerAction::Reboot);
}

std::mutex g_taskbarMutex;  // guards the two below
std::function<std::unique_ptr<TaskbarBackend>()> g_taskbarFactory;
std::unique_ptr<TaskbarBackend> g_taskbar;

}  // namespace

std::string GpuProbeLibraryPath() { return ProgramFolderSlash() + "libcuenc.so"; }

bool GpuEncoderSupported(std::string* report) {
  std::string text = "Check CUDA encode feature:\n";
  bool supported = false;
  void* library = dlopen(GpuProbeLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    text += "Load libcuenc.so failed!";
  } else {
    using CountFn = int (*)();
    auto count = reinterpret_cast<CountFn>(dlsym(library, "cuda_x264_is_support_cuda"));
    if (count == nullptr) {
      text += "No found any device for encode\n";
    } else {
      int devices = count();
      supported = devices > 0;
      char line[64];
      std::snprintf(line, sizeof line, "Found %d devices for encoder\n", devices);
      text += line;
    }
    dlclose(library);
  }
  text += "Result: ";
  text += supported ? "Support" : "Un-support";
  if (report) *report = text;
  return supported;
}

bool ShutdownComputer(int mode) {
  ShutdownAction action;
  {
    std::lock_guard<std::mutex> lock(g_shutdownMutex);
    action = g_shutdownAction;
  }
  if (action) action(mode);
  else RealShutdown(mode);
  return true;
}

ShutdownAction SetShutdownAction(ShutdownAction action) {
  std::lock_guard<std::mutex> lock(g_shutdownMutex);
  ShutdownAction previous = std::move(g_shutdownAction);
  g_shutdownAction = std::move(action);
  return previous;
}

uint64_t FreeSpace(std::string_view path) {
  if (path.empty() || path[0] != '/') return 0;
  std::string probe(path);
  // Walk up to the nearest folder that exists.
  while (!IsDirectory(probe)) {
    size_t slash = probe.find_last_of('/');
    if (slash == std::string::npos) return 0;
    probe = slash == 0 ? "/" : probe.substr(0, slash);
  }
  struct statvfs st;
  if (statvfs(probe.c_str(), &st) != 0) return 0;
  return static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
}

void SetTaskbarBackendFactory(std::function<std::unique_ptr<TaskbarBackend>()> factory) {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  g_taskbarFactory = std::move(factory);
}

void TaskbarCreate() {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  if (!g_taskbar && g_taskbarFactory) g_taskbar = g_taskbarFactory();
}

void TaskbarRelease() {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  g_taskbar.reset();
}

void TaskbarSetValue(uint64_t window, uint64_t completed, uint64_t total) {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  if (g_taskbar) g_taskbar->SetValue(window, completed, total);
}

void TaskbarSetState(uint64_t window, int state) {
  std::lock_guard<std::mutex> lock(g_taskbarMutex);
  if (g_taskbar) g_taskbar->SetState(window, state);
}

}  // namespace mivora
