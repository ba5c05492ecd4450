#include "common/SystemQueries.h"

#include <dlfcn.h>
#include <sys/statvfs.h>

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

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

namespace {

// A probe opens an encode session on every device, which takes a moment per
// device; the answer is reused for a short while, as files are added in
// bursts and each H.264 mapping asks again.
constexpr std::chrono::seconds kGpuProbeReuse{30};

struct GpuProbeAnswer {
  std::string library;  // the probe library that gave it
  std::chrono::steady_clock::time_point at;
  bool supported = false;
  bool hevcSupported = false;  // a device's encode session offers H.265 too
  std::string report;
};
std::mutex g_gpuProbeMutex;  // guards g_gpuProbeAnswer and serialises probes
std::optional<GpuProbeAnswer> g_gpuProbeAnswer;

GpuProbeAnswer AskProbeLibrary(const std::string& path) {
  GpuProbeAnswer answer;
  answer.library = path;
  std::string text = "Check CUDA encode feature:\n";
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    text += "Load libcuenc.so failed!";
  } else {
    using CountFn = int (*)();
    using ReportFn = int (*)(char*, int);
    using CodecsReportFn = int (*)(char*, int, int*);
    auto count = reinterpret_cast<CountFn>(dlsym(library, "cuda_x264_is_support_cuda"));
    auto withReport = reinterpret_cast<ReportFn>(dlsym(library, "cuda_x264_probe_report"));
    auto withCodecs = reinterpret_cast<CodecsReportFn>(dlsym(library, "cuda_encoder_probe_report"));
    if (count == nullptr) {
      text += "No found any device for encode\n";
    } else {
      int devices = 0, hevcDevices = 0;
      // The probe's findings say why a device counts or not.
      std::vector<char> findings(4096, '\0');
      if (withCodecs != nullptr) {
        devices = withCodecs(findings.data(), static_cast<int>(findings.size()), &hevcDevices);
      } else if (withReport != nullptr) {
        devices = withReport(findings.data(), static_cast<int>(findings.size()));
      } else {
        devices = count();
      }
      text += findings.data();
      answer.supported = devices > 0;
      answer.hevcSupported = hevcDevices > 0;
      char line[64];
      std::snprintf(line, sizeof line, "Found %d devices for encoder\n", devices);
      text += line;
    }
    dlclose(library);
  }
  text += "Result: ";
  text += answer.supported ? "Support" : "Un-support";
  answer.report = std::move(text);
  answer.at = std::chrono::steady_clock::now();
  return answer;
}

// The probe's answer, asked again when it is too old. Call with g_gpuProbeMutex held.
const GpuProbeAnswer& CurrentGpuProbeAnswer() {
  std::string path = GpuProbeLibraryPath();
  auto now = std::chrono::steady_clock::now();
  if (!g_gpuProbeAnswer || g_gpuProbeAnswer->library != path || now - g_gpuProbeAnswer->at >= kGpuProbeReuse)
    g_gpuProbeAnswer = AskProbeLibrary(path);
  return *g_gpuProbeAnswer;
}

}  // namespace

bool GpuEncoderSupported(std::string* report) {
  std::lock_guard<std::mutex> lock(g_gpuProbeMutex);
  const GpuProbeAnswer& answer = CurrentGpuProbeAnswer();
  if (report) *report = answer.report;
  return answer.supported;
}

bool GpuHevcEncoderSupported() {
  std::lock_guard<std::mutex> lock(g_gpuProbeMutex);
  return CurrentGpuProbeAnswer().hevcSupported;
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
