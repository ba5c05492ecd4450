#pragma once
// The few declarations of the NVIDIA driver's CUDA library (libcuda.so.1)
// and video-encode library (libnvidia-encode.so.1) that the probe uses. Both
// are loaded at run time, so nothing here links against the driver and the
// probe loads (and answers 0) on machines without it.

#include <cstddef>
#include <cstdint>

namespace mivora::cuenc {

inline constexpr const char* kCudaLibrary = "libcuda.so.1";
inline constexpr const char* kEncodeLibrary = "libnvidia-encode.so.1";

// CUDA driver API.
using CuResult = int;
using CuDevice = int;
using CuContext = struct CuContextOpaque*;
inline constexpr CuResult kCudaSuccess = 0;
inline constexpr CuResult kCudaErrorNoDevice = 100;

using CuInitFn = CuResult (*)(unsigned flags);
using CuDeviceGetCountFn = CuResult (*)(int* count);
using CuDeviceGetFn = CuResult (*)(CuDevice* device, int ordinal);
using CuDeviceGetNameFn = CuResult (*)(char* name, int length, CuDevice device);
using CuCtxCreateFn = CuResult (*)(CuContext* context, unsigned flags, CuDevice device);
using CuCtxDestroyFn = CuResult (*)(CuContext context);
using CuGetErrorNameFn = CuResult (*)(CuResult error, const char** name);

// Video-encode API. A version is major | minor << 24; a structure's version
// adds its own revision in bits 16 to 27 and 7 in the top four bits.
using NvEncStatus = int;
inline constexpr NvEncStatus kNvEncSuccess = 0;
inline constexpr NvEncStatus kNvEncNoEncodeDevice = 1;
inline constexpr NvEncStatus kNvEncOutOfMemory = 10;
inline constexpr NvEncStatus kNvEncInvalidVersion = 15;
// The status names in order of their numbers, for the report.
inline constexpr const char* kNvEncStatusNames[] = {
    "NV_ENC_SUCCESS",
    "NV_ENC_ERR_NO_ENCODE_DEVICE",
    "NV_ENC_ERR_UNSUPPORTED_DEVICE",
    "NV_ENC_ERR_INVALID_ENCODERDEVICE",
    "NV_ENC_ERR_INVALID_DEVICE",
    "NV_ENC_ERR_DEVICE_NOT_EXIST",
    "NV_ENC_ERR_INVALID_PTR",
    "NV_ENC_ERR_INVALID_EVENT",
    "NV_ENC_ERR_INVALID_PARAM",
    "NV_ENC_ERR_INVALID_CALL",
    "NV_ENC_ERR_OUT_OF_MEMORY",
    "NV_ENC_ERR_ENCODER_NOT_INITIALIZED",
    "NV_ENC_ERR_UNSUPPORTED_PARAM",
    "NV_ENC_ERR_LOCK_BUSY",
    "NV_ENC_ERR_NOT_ENOUGH_BUFFER",
    "NV_ENC_ERR_INVALID_VERSION",
    "NV_ENC_ERR_MAP_FAILED",
    "NV_ENC_ERR_NEED_MORE_INPUT",
    "NV_ENC_ERR_ENCODER_BUSY",
    "NV_ENC_ERR_EVENT_NOT_REGISTERD",
    "NV_ENC_ERR_GENERIC",
    "NV_ENC_ERR_INCOMPATIBLE_CLIENT_KEY",
    "NV_ENC_ERR_UNIMPLEMENTED",
    "NV_ENC_ERR_RESOURCE_REGISTER_FAILED",
    "NV_ENC_ERR_RESOURCE_NOT_REGISTERED",
    "NV_ENC_ERR_RESOURCE_NOT_MAPPED",
    "NV_ENC_ERR_NEED_MORE_OUTPUT",
};

// The API version the probe speaks: the one Debian's ffmpeg encodes with,
// so a device the probe accepts is one ffmpeg's encoder can open too.
inline constexpr uint32_t kNvEncApiMajor = 11;
inline constexpr uint32_t kNvEncApiMinor = 1;
inline constexpr uint32_t kNvEncApiVersion = kNvEncApiMajor | (kNvEncApiMinor << 24);
constexpr uint32_t NvEncStructVersion(uint32_t revision) {
  return kNvEncApiVersion | (revision << 16) | (0x7u << 28);
}
// NvEncodeAPIGetMaxSupportedVersion answers major << 4 | minor.
inline constexpr uint32_t kNvEncApiNeeded = (kNvEncApiMajor << 4) | kNvEncApiMinor;

struct NvGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
inline bool operator==(const NvGuid& a, const NvGuid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.data4[i] != b.data4[i]) return false;
  return true;
}
// The H.264 codec among the encode GUIDs: {6BC82762-4E63-4CA4-AA85-1E50F321F6BF}.
inline constexpr NvGuid kNvEncCodecH264 = {0x6bc82762, 0x4e63, 0x4ca4, {0xaa, 0x85, 0x1e, 0x50, 0xf3, 0x21, 0xf6, 0xbf}};
inline constexpr NvGuid kNvEncCodecHevc = {0x790cdc88, 0x4522, 0x4d7b, {0x94, 0x25, 0xbd, 0xa9, 0x97, 0x5f, 0x76, 0x03}};

inline constexpr uint32_t kNvEncDeviceTypeCuda = 1;

struct NvEncOpenSessionParams {
  uint32_t version = NvEncStructVersion(1);
  uint32_t deviceType = kNvEncDeviceTypeCuda;
  void* device = nullptr;
  void* reserved = nullptr;
  uint32_t apiVersion = kNvEncApiVersion;
  uint32_t reserved1[253] = {};
  void* reserved2[64] = {};
};

using NvEncOpenSessionExFn = NvEncStatus (*)(NvEncOpenSessionParams* params, void** encoder);
using NvEncGetEncodeGuidCountFn = NvEncStatus (*)(void* encoder, uint32_t* count);
using NvEncGetEncodeGuidsFn = NvEncStatus (*)(void* encoder, NvGuid* guids, uint32_t arraySize, uint32_t* count);
using NvEncDestroyEncoderFn = NvEncStatus (*)(void* encoder);

// The function table NvEncodeAPICreateInstance fills: a version, a reserved
// word, then the entry points in a fixed order (318 slots, most of them
// reserved). Only the slots the probe calls are named.
struct NvEncFunctionList {
  static constexpr size_t kSlots = 318;
  static constexpr size_t kGetEncodeGuidCount = 1;
  static constexpr size_t kGetEncodeGuids = 4;
  static constexpr size_t kDestroyEncoder = 27;
  static constexpr size_t kOpenEncodeSessionEx = 29;

  uint32_t version = NvEncStructVersion(2);
  uint32_t reserved = 0;
  void* slots[kSlots] = {};

  template <typename Fn>
  Fn Entry(size_t slot) const {
    return reinterpret_cast<Fn>(slots[slot]);
  }
};
static_assert(offsetof(NvEncFunctionList, slots) == 8);

using NvEncGetMaxSupportedVersionFn = NvEncStatus (*)(uint32_t* version);
using NvEncCreateInstanceFn = NvEncStatus (*)(NvEncFunctionList* list);

}  // namespace mivora::cuenc
