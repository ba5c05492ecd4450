// Stands in for the driver's video-encode library (libnvidia-encode.so.1).
// STANDIN_NVENC chooses how the device behaves:
//   no-encoder  every call on the device answers NV_ENC_ERR_NO_ENCODE_DEVICE
//               (a chip without a video encoder)
//   h264        a session opens and lists the HEVC and H.264 codecs
//   hevc-only   a session opens and lists HEVC alone
//   busy        opening a session answers NV_ENC_ERR_OUT_OF_MEMORY (no
//               session left)
//   old-driver  the library speaks API version 9.0 only
// Version words and parameters are checked as the driver checks them.

#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <string>

#include "tests/gpu/standins/StandInLedger.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kSuccess = 0;
constexpr int kNoEncodeDevice = 1;
constexpr int kInvalidPtr = 6;
constexpr int kInvalidParam = 8;
constexpr int kOutOfMemory = 10;
constexpr int kInvalidVersion = 15;

struct Guid {
  uint32_t d1;
  uint16_t d2, d3;
  uint8_t d4[8];
};
constexpr Guid kH264 = {0x6BC82762, 0x4E63, 0x4CA4, {0xAA, 0x85, 0x1E, 0x50, 0xF3, 0x21, 0xF6, 0xBF}};
constexpr Guid kHevc = {0x790CDC88, 0x4522, 0x4D7B, {0x94, 0x25, 0xBD, 0xA9, 0x97, 0x5F, 0x76, 0x03}};

struct OpenSessionParams {
  uint32_t version;
  uint32_t deviceType;  // 1: CUDA
  void* device;
  void* reserved;
  uint32_t apiVersion;
  uint32_t reserved1[253];
  void* reserved2[64];
};

using Fn = void*;
struct FunctionList {
  uint32_t version;
  uint32_t reserved;
  Fn nvEncOpenEncodeSession, nvEncGetEncodeGUIDCount, nvEncGetEncodeProfileGUIDCount,
      nvEncGetEncodeProfileGUIDs, nvEncGetEncodeGUIDs, nvEncGetInputFormatCount, nvEncGetInputFormats,
      nvEncGetEncodeCaps, nvEncGetEncodePresetCount, nvEncGetEncodePresetGUIDs, nvEncGetEncodePresetConfig,
      nvEncInitializeEncoder, nvEncCreateInputBuffer, nvEncDestroyInputBuffer, nvEncCreateBitstreamBuffer,
      nvEncDestroyBitstreamBuffer, nvEncEncodePicture, nvEncLockBitstream, nvEncUnlockBitstream,
      nvEncLockInputBuffer, nvEncUnlockInputBuffer, nvEncGetEncodeStats, nvEncGetSequenceParams,
      nvEncRegisterAsyncEvent, nvEncUnregisterAsyncEvent, nvEncMapInputResource, nvEncUnmapInputResource,
      nvEncDestroyEncoder, nvEncInvalidateRefFrames, nvEncOpenEncodeSessionEx, nvEncRegisterResource,
      nvEncUnregisterResource, nvEncReconfigureEncoder, reserved1, nvEncCreateMVBuffer, nvEncDestroyMVBuffer,
      nvEncRunMotionEstimationOnly, nvEncGetLastErrorString, nvEncSetIOCudaStreams,
      nvEncGetEncodePresetConfigEx, nvEncGetSequenceParamEx;
  Fn reserved2[277];
};
static_assert(sizeof(FunctionList) == 8 + 318 * sizeof(void*));

std::string Mode() {
  const char* mode = std::getenv("STANDIN_NVENC");
  return mode ? mode : "h264";
}

// The newest API version this library speaks, as major << 4 | minor.
uint32_t MaxVersion() { return Mode() == "old-driver" ? 0x90 : 0xC0; }

// A structure version word: the API version (major | minor << 24), the
// structure's revision in bits 16 to 27, and 7 in the top four bits.
bool VersionWordFits(uint32_t word, uint32_t revision) {
  uint32_t major = word & 0xff, minor = (word >> 24) & 0xf;
  return (word >> 28) == 7 && ((word >> 16) & 0xff) == revision && ((major << 4) | minor) <= MaxVersion();
}

int session;  // the one session's handle is its address
bool g_sessionOpen = false;

int OpenEncodeSessionEx(OpenSessionParams* params, void** encoder) {
  if (params == nullptr || encoder == nullptr) return kInvalidPtr;
  if (!VersionWordFits(params->version, 1) || (params->apiVersion | (7u << 28) | (1u << 16)) != params->version)
    return kInvalidVersion;
  if (params->deviceType != 1 || params->device == nullptr) return kInvalidParam;
  std::string mode = Mode();
  if (mode == "no-encoder") return kNoEncodeDevice;
  if (mode == "busy") return kOutOfMemory;
  *encoder = &session;
  g_sessionOpen = true;
  LedgerWrite("session opened");
  return kSuccess;
}

uint32_t CodecCount() { return Mode() == "hevc-only" ? 1 : 2; }

int GetEncodeGUIDCount(void* encoder, uint32_t* count) {
  if (encoder != &session || !g_sessionOpen) return kNoEncodeDevice;
  *count = CodecCount();
  return kSuccess;
}

int GetEncodeGUIDs(void* encoder, Guid* guids, uint32_t size, uint32_t* count) {
  if (encoder != &session || !g_sessionOpen) return kNoEncodeDevice;
  const Guid codecs[] = {kHevc, kH264};
  if (size < CodecCount()) return kInvalidParam;
  std::memcpy(guids, codecs, CodecCount() * sizeof(Guid));
  *count = CodecCount();
  return kSuccess;
}

int DestroyEncoder(void* encoder) {
  if (encoder != &session || !g_sessionOpen) return kNoEncodeDevice;
  g_sessionOpen = false;
  LedgerWrite("session closed");
  return kSuccess;
}

// The entries the probe never calls: the device answers that it cannot
// encode (as every call does in "no-encoder" mode).
int NoEncodeDevice() { return kNoEncodeDevice; }

}  // namespace

EXPORT int NvEncodeAPIGetMaxSupportedVersion(uint32_t* version) {
  if (version == nullptr) return kInvalidPtr;
  *version = MaxVersion();
  return kSuccess;
}

EXPORT int NvEncodeAPICreateInstance(FunctionList* list) {
  if (list == nullptr) return kInvalidPtr;
  if (!VersionWordFits(list->version, 2)) return kInvalidVersion;
  Fn refuse = reinterpret_cast<Fn>(&NoEncodeDevice);
  Fn* first = &list->nvEncOpenEncodeSession;
  Fn* last = &list->nvEncGetSequenceParamEx;
  for (Fn* entry = first; entry <= last; ++entry) *entry = refuse;
  list->reserved1 = nullptr;
  list->nvEncOpenEncodeSessionEx = reinterpret_cast<Fn>(&OpenEncodeSessionEx);
  list->nvEncGetEncodeGUIDCount = reinterpret_cast<Fn>(&GetEncodeGUIDCount);
  list->nvEncGetEncodeGUIDs = reinterpret_cast<Fn>(&GetEncodeGUIDs);
  list->nvEncDestroyEncoder = reinterpret_cast<Fn>(&DestroyEncoder);
  return kSuccess;
}
