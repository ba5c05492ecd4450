// libcuenc.so, the GPU encoder probe: how many devices can encode H.264 (and
// how many H.265).
// A device counts only when an encode session really opens on it (see
// EncoderProbe.h); the driver's management library is not asked, as it
// reports encoder capacity for chips that have no video encoder.

#include <algorithm>
#include <cstring>

#include "tools/cuenc/EncoderProbe.h"

#define CUENC_EXPORT extern "C" __attribute__((visibility("default")))

// The number of devices usable by the encoder.
CUENC_EXPORT int cuda_x264_is_support_cuda() { return mivora::cuenc::ProbeH264Encoders().devices; }

// The same count, and the probe's findings (why a device is or is not
// counted), one line each, as a terminated text of at most `size` bytes;
// with `hevcDevices`, also the number of devices whose encode session offers
// H.265 (HEVC), from the same probe.
CUENC_EXPORT int cuda_encoder_probe_report(char* report, int size, int* hevcDevices) {
  mivora::cuenc::ProbeResult result = mivora::cuenc::ProbeH264Encoders();
  if (report != nullptr && size > 0) {
    size_t length = std::min(result.report.size(), static_cast<size_t>(size) - 1);
    std::memcpy(report, result.report.data(), length);
    report[length] = '\0';
  }
  if (hevcDevices != nullptr) *hevcDevices = result.hevcDevices;
  return result.devices;
}

CUENC_EXPORT int cuda_x264_probe_report(char* report, int size) {
  return cuda_encoder_probe_report(report, size, nullptr);
}
