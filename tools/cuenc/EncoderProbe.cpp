#include "tools/cuenc/EncoderProbe.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

#include "tools/cuenc/DriverApi.h"

namespace mivora::cuenc {
namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// The driver's libraries stay loaded once loaded: the CUDA library keeps
// threads of its own, which must not lose their code under them.
void* LoadDriverLibrary(const char* name, std::string* why) {
  void* library = dlopen(name, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* error = dlerror();
    *why = error ? error : "not found";
  }
  return library;
}

template <typename Fn>
Fn Symbol(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

std::string NvEncStatusText(NvEncStatus status) {
  constexpr int kKnown = sizeof kNvEncStatusNames / sizeof kNvEncStatusNames[0];
  std::string name = status >= 0 && status < kKnown ? kNvEncStatusNames[status] : "unknown status";
  return name + " (" + std::to_string(status) + ")";
}

// What an encode session's refusal most likely means for the user.
std::string SessionRefusalMeaning(NvEncStatus status) {
  switch (status) {
    case kNvEncNoEncodeDevice: return ": the device has no video encoder";
    case kNvEncOutOfMemory: return ": no free encode session (the driver's limit of sessions may be reached)";
    case kNvEncInvalidVersion: return ": the driver does not speak this encode API version";
    default: return "";
  }
}

struct Cuda {
  CuInitFn init = nullptr;
  CuDeviceGetCountFn getCount = nullptr;
  CuDeviceGetFn get = nullptr;
  CuDeviceGetNameFn getName = nullptr;
  CuCtxCreateFn createContext = nullptr;
  CuCtxDestroyFn destroyContext = nullptr;
  CuGetErrorNameFn errorName = nullptr;  // optional

  bool Load(void* library, std::string* missing) {
    struct Entry {
      const char* name;
      void** slot;
    } entries[] = {
        {"cuInit", reinterpret_cast<void**>(&init)},
        {"cuDeviceGetCount", reinterpret_cast<void**>(&getCount)},
        {"cuDeviceGet", reinterpret_cast<void**>(&get)},
        {"cuDeviceGetName", reinterpret_cast<void**>(&getName)},
        {"cuCtxCreate_v2", reinterpret_cast<void**>(&createContext)},
        {"cuCtxDestroy_v2", reinterpret_cast<void**>(&destroyContext)},
    };
    for (const Entry& entry : entries) {
      *entry.slot = dlsym(library, entry.name);
      if (*entry.slot == nullptr) {
        *missing = entry.name;
        return false;
      }
    }
    errorName = Symbol<CuGetErrorNameFn>(library, "cuGetErrorName");
    return true;
  }

  std::string ErrorText(CuResult result) const {
    const char* name = nullptr;
    if (errorName == nullptr || errorName(result, &name) != kCudaSuccess || name == nullptr)
      name = "CUDA error";
    return std::string(name) + " (" + std::to_string(result) + ")";
  }
};

struct DeviceCodecs {
  bool h264 = false, hevc = false;
};

// One device: context, session, the codec list; all closed before return.
DeviceCodecs DeviceEncoders(const Cuda& cuda, const NvEncFunctionList& api, int ordinal, std::string* report) {
  DeviceCodecs found;
  CuDevice device = 0;
  char name[256] = "unnamed";
  std::string label = "Device " + std::to_string(ordinal);
  if (CuResult r = cuda.get(&device, ordinal); r != kCudaSuccess) {
    *report += label + ": " + cuda.ErrorText(r) + "\n";
    return found;
  }
  if (cuda.getName(name, sizeof name, device) == kCudaSuccess) label += " (" + std::string(name) + ")";
  CuContext context = nullptr;
  if (CuResult r = cuda.createContext(&context, 0, device); r != kCudaSuccess) {
    *report += label + ": no CUDA context: " + cuda.ErrorText(r) + "\n";
    return found;
  }

  auto open = api.Entry<NvEncOpenSessionExFn>(NvEncFunctionList::kOpenEncodeSessionEx);
  auto count = api.Entry<NvEncGetEncodeGuidCountFn>(NvEncFunctionList::kGetEncodeGuidCount);
  auto list = api.Entry<NvEncGetEncodeGuidsFn>(NvEncFunctionList::kGetEncodeGuids);
  auto destroy = api.Entry<NvEncDestroyEncoderFn>(NvEncFunctionList::kDestroyEncoder);
  NvEncOpenSessionParams params;
  params.device = context;
  void* encoder = nullptr;
  NvEncStatus status = open(&params, &encoder);
  if (status != kNvEncSuccess || encoder == nullptr) {
    *report += label + ": no encode session: " + NvEncStatusText(status) + SessionRefusalMeaning(status) + "\n";
    // A failed open may still have left a session to close.
    if (encoder != nullptr) destroy(encoder);
  } else {
    uint32_t guids = 0;
    status = count(encoder, &guids);
    std::vector<NvGuid> codecs(guids);
    if (status == kNvEncSuccess && guids > 0) status = list(encoder, codecs.data(), guids, &guids);
    if (status != kNvEncSuccess) {
      *report += label + ": cannot list its codecs: " + NvEncStatusText(status) + "\n";
    } else {
      codecs.resize(std::min<size_t>(guids, codecs.size()));
      for (const NvGuid& codec : codecs) {
        found.h264 = found.h264 || codec == kNvEncCodecH264;
        found.hevc = found.hevc || codec == kNvEncCodecHevc;
      }
      *report += label + (found.h264 ? ": H.264 encoder ready" : ": its encoder has no H.264");
      if (found.hevc) *report += found.h264 ? ", H.265 too" : " (H.265 only)";
      *report += "\n";
    }
    destroy(encoder);
  }
  cuda.destroyContext(context);
  return found;
}

// Loads the CUDA driver library, starts it and counts its devices. Returns
// false, with the reason in *report, when no device can be used.
bool StartCuda(Cuda* cuda, int* devices, std::string* report) {
  std::string why;
  void* cudaLibrary = LoadDriverLibrary(kCudaLibrary, &why);
  if (cudaLibrary == nullptr) {
    *report = "No NVIDIA driver: " + why + "\n";
    return false;
  }
  std::string missing;
  if (!cuda->Load(cudaLibrary, &missing)) {
    *report = Format("The NVIDIA driver's %s lacks %s\n", kCudaLibrary, missing.c_str());
    return false;
  }
  if (CuResult r = cuda->init(0); r != kCudaSuccess) {
    *report = (r == kCudaErrorNoDevice ? "CUDA finds no device: " : "CUDA does not start: ") +
              cuda->ErrorText(r) + "\n";
    return false;
  }
  if (CuResult r = cuda->getCount(devices); r != kCudaSuccess || *devices <= 0) {
    *report = r != kCudaSuccess ? "CUDA cannot count its devices: " + cuda->ErrorText(r) + "\n"
                                : std::string("CUDA finds no device\n");
    return false;
  }
  return true;
}

// The video-encode library's function table, once the library is loaded, new
// enough and its table complete; null, with the reason in *report, otherwise.
std::unique_ptr<NvEncFunctionList> OpenEncodeApi(int devices, std::string* report) {
  std::string why;
  void* encodeLibrary = LoadDriverLibrary(kEncodeLibrary, &why);
  if (encodeLibrary == nullptr) {
    *report = Format("%d CUDA device(s), but no video-encode library: %s\n", devices, why.c_str());
    return nullptr;
  }
  auto maxVersion = Symbol<NvEncGetMaxSupportedVersionFn>(encodeLibrary, "NvEncodeAPIGetMaxSupportedVersion");
  auto createInstance = Symbol<NvEncCreateInstanceFn>(encodeLibrary, "NvEncodeAPICreateInstance");
  if (maxVersion == nullptr || createInstance == nullptr) {
    *report = Format("The NVIDIA driver's %s lacks its entry points\n", kEncodeLibrary);
    return nullptr;
  }
  uint32_t version = 0;
  if (NvEncStatus status = maxVersion(&version); status != kNvEncSuccess) {
    *report = "The video-encode library does not answer: " + NvEncStatusText(status) + "\n";
    return nullptr;
  }
  if (version < kNvEncApiNeeded) {
    *report = Format("The driver's video-encode API is %u.%u; %u.%u or later is needed\n", version >> 4,
                     version & 0xf, kNvEncApiMajor, kNvEncApiMinor);
    return nullptr;
  }
  // Heap, not stack: the table is about 2.5 KiB and its users are libraries.
  auto api = std::make_unique<NvEncFunctionList>();
  if (NvEncStatus status = createInstance(api.get()); status != kNvEncSuccess) {
    *report = "The video-encode library refuses: " + NvEncStatusText(status) + "\n";
    return nullptr;
  }
  for (size_t slot : {NvEncFunctionList::kOpenEncodeSessionEx, NvEncFunctionList::kGetEncodeGuidCount,
                      NvEncFunctionList::kGetEncodeGuids, NvEncFunctionList::kDestroyEncoder}) {
    if (api->slots[slot] == nullptr) {
      *report = "The video-encode library's function table is incomplete\n";
      return nullptr;
    }
  }
  return api;
}

}  // namespace

ProbeResult ProbeH264Encoders() {
  ProbeResult result;
  Cuda cuda;
  int devices = 0;
  if (!StartCuda(&cuda, &devices, &result.report)) return result;
  std::unique_ptr<NvEncFunctionList> api = OpenEncodeApi(devices, &result.report);
  if (!api) return result;
  for (int ordinal = 0; ordinal < devices; ++ordinal) {
    DeviceCodecs codecs = DeviceEncoders(cuda, *api, ordinal, &result.report);
    if (codecs.h264) ++result.devices;
    if (codecs.hevc) ++result.hevcDevices;
  }
  return result;
}

}  // namespace mivora::cuenc
