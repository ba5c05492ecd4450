// Stands in for the driver's management library (libnvidia-ml.so.1) as it
// answers on a data-centre chip without a video encoder: one device, H.264
// encoder capacity 100 %.

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {
int g_device;
}

EXPORT int nvmlInit_v2() { return 0; }
EXPORT int nvmlShutdown() { return 0; }
EXPORT int nvmlDeviceGetCount_v2(unsigned* count) {
  *count = 1;
  return 0;
}
EXPORT int nvmlDeviceGetHandleByIndex_v2(unsigned index, void** device) {
  if (index != 0) return 2;  // invalid argument
  *device = &g_device;
  return 0;
}
EXPORT int nvmlDeviceGetEncoderCapacity(void*, int, unsigned* percent) {
  *percent = 100;
  return 0;
}
