// The GPU encoder probe. Counts the devices whose driver reports an H.264
// encoder, asking the NVIDIA management library, which is loaded at run time
// so that the probe works (and answers 0) on machines without the driver.

#include <dlfcn.h>

namespace {

// The few management-library declarations the probe needs.
using nvmlReturn = int;
using nvmlDevice = struct nvmlDeviceOpaque*;
constexpr nvmlReturn kNvmlSuccess = 0;
constexpr int kEncoderQueryH264 = 0;

using InitFn = nvmlReturn (*)();
using ShutdownFn = nvmlReturn (*)();
using CountFn = nvmlReturn (*)(unsigned*);
using HandleFn = nvmlReturn (*)(unsigned, nvmlDevice*);
using CapacityFn = nvmlReturn (*)(nvmlDevice, int, unsigned*);

template <typename Fn>
Fn Symbol(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

int CountH264EncoderDevices() {
  void* nvml = dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
  if (nvml == nullptr) return 0;
  auto init = Symbol<InitFn>(nvml, "nvmlInit_v2");
  auto shutdown = Symbol<ShutdownFn>(nvml, "nvmlShutdown");
  auto count = Symbol<CountFn>(nvml, "nvmlDeviceGetCount_v2");
  auto handle = Symbol<HandleFn>(nvml, "nvmlDeviceGetHandleByIndex_v2");
  auto capacity = Symbol<CapacityFn>(nvml, "nvmlDeviceGetEncoderCapacity");
  int devices = 0;
  if (init && shutdown && count && handle && capacity && init() == kNvmlSuccess) {
    unsigned total = 0;
    if (count(&total) == kNvmlSuccess) {
      for (unsigned i = 0; i < total; ++i) {
        nvmlDevice device = nullptr;
        unsigned percent = 0;
        // A device without an H.264 encoder answers "not supported".
        if (handle(i, &device) == kNvmlSuccess &&
            capacity(device, kEncoderQueryH264, &percent) == kNvmlSuccess)
          ++devices;
      }
    }
    shutdown();
  }
  dlclose(nvml);
  return devices;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int cuda_x264_is_support_cuda() {
  return CountH264EncoderDevices();
}
