// Stands in for the driver's CUDA library (libcuda.so.1): STANDIN_CUDA_DEVICES
// devices (default 1), each named "Stand-in GPU N"; STANDIN_CUDA_INIT makes
// cuInit answer that error instead of success; STANDIN_CUDA_ABORT_ON_LOAD=1
// ends the loading program at once, as a broken driver install can.

#include <cstdio>
#include <cstdlib>

#include "tests/gpu/standins/StandInLedger.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
constexpr int kSuccess = 0;
constexpr int kInvalidValue = 1;
constexpr int kNotInitialized = 3;
constexpr int kInvalidDevice = 101;
constexpr int kMaxDevices = 16;

bool g_initialised = false;
int g_contexts[kMaxDevices];  // a context is the address of its device's slot

__attribute__((constructor)) void AbortOnLoad() {
  if (EnvInt("STANDIN_CUDA_ABORT_ON_LOAD", 0) == 1) std::abort();
}

int Devices() {
  int devices = EnvInt("STANDIN_CUDA_DEVICES", 1);
  return devices < 0 ? 0 : devices > kMaxDevices ? kMaxDevices : devices;
}
}  // namespace

EXPORT int cuInit(unsigned flags) {
  if (flags != 0) return kInvalidValue;
  int result = EnvInt("STANDIN_CUDA_INIT", kSuccess);
  g_initialised = result == kSuccess;
  return result;
}

EXPORT int cuDeviceGetCount(int* count) {
  if (!g_initialised) return kNotInitialized;
  *count = Devices();
  return kSuccess;
}

EXPORT int cuDeviceGet(int* device, int ordinal) {
  if (!g_initialised) return kNotInitialized;
  if (ordinal < 0 || ordinal >= Devices()) return kInvalidDevice;
  *device = ordinal;
  return kSuccess;
}

EXPORT int cuDeviceGetName(char* name, int length, int device) {
  if (device < 0 || device >= Devices()) return kInvalidDevice;
  std::snprintf(name, static_cast<size_t>(length), "Stand-in GPU %d", device);
  return kSuccess;
}

EXPORT int cuCtxCreate_v2(void** context, unsigned, int device) {
  if (!g_initialised) return kNotInitialized;
  if (device < 0 || device >= Devices()) return kInvalidDevice;
  *context = &g_contexts[device];
  LedgerWrite("context opened");
  return kSuccess;
}

EXPORT int cuCtxDestroy_v2(void* context) {
  if (context == nullptr) return kInvalidValue;
  LedgerWrite("context closed");
  return kSuccess;
}

EXPORT int cuGetErrorName(int error, const char** name) {
  switch (error) {
    case 100: *name = "CUDA_ERROR_NO_DEVICE"; return kSuccess;
    case 999: *name = "CUDA_ERROR_UNKNOWN"; return kSuccess;
    default: return kInvalidValue;
  }
}
