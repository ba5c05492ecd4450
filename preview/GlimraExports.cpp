// The library's C interface. No exception leaves these functions.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "platform/FaultGuard.h"
#include "preview/Glimra.h"
#include "preview/PlaneScaler.h"
#include "preview/ResizeContext.h"
#include "preview/YuvToBgr.h"

namespace {

constexpr const char* kResizeName = "GLIMRA_ResizeFrame";
constexpr size_t kMaxCropBytes = size_t{1} << 28;

// The calling thread gets the fault translator on its first scaling call and
// keeps it until it ends; the report is printed by the caller of RunGuarded,
// so the sink has nothing to do.
struct ThreadTranslator {
  bool installed = false;
  ~ThreadTranslator() {
    if (installed) mivora::UninstallFaultTranslator();
  }
  void Ensure() {
    if (installed) return;
    mivora::InstallFaultTranslator([](const std::string&) {});
    installed = true;
  }
};
thread_local ThreadTranslator t_translator;

void PrintFailure(const char* function, const char* message) {
  size_t length = std::strlen(message);
  std::fprintf(stderr, "[%s]: %s%s", function, message,
               length > 0 && message[length - 1] == '\n' ? "" : "\n");
  std::fflush(stderr);
}

}  // namespace

extern "C" {

ResizeContext* GLIMRA_InitResize(int sourceWidth, int sourceHeight, int destinationWidth,
                                 int destinationHeight, int cropLeft, int cropTop, int cropRight,
                                 int cropBottom) {
  try {
    ResizeContext* context = mivora::CreateResizeContext(sourceWidth, sourceHeight, destinationWidth,
                                                         destinationHeight, cropLeft, cropTop, cropRight,
                                                         cropBottom);
    if (!context->prepared && destinationWidth != 0 && destinationHeight != 0)
      PrintFailure("GLIMRA_InitResize", "frame or crop size out of range; frames will not be scaled");
    return context;
  } catch (const std::exception& error) {
    PrintFailure("GLIMRA_InitResize", error.what());
    return nullptr;
  }
}

void GLIMRA_ResizeFrame(const uint8_t* sourceY, const uint8_t* sourceU, const uint8_t* sourceV,
                        YuvPlanes* destination, ResizeContext* context) {
  if (context == nullptr || !context->prepared) return;
  // Chroma pointers matter only where the chroma planes have samples.
  const bool sourceChroma = context->chroma.sourceStride > 0 && context->chroma.sourceRows > 0;
  const bool outputChroma = context->chroma.outputWidth > 0 && context->chroma.outputRows > 0;
  const bool sourceLuma = context->luma.sourceStride > 0 && context->luma.sourceRows > 0;
  if (destination == nullptr || (sourceLuma && sourceY == nullptr) || destination->y == nullptr ||
      (sourceChroma && (sourceU == nullptr || sourceV == nullptr)) ||
      (outputChroma && (destination->u == nullptr || destination->v == nullptr))) {
    PrintFailure(kResizeName, "missing plane pointer");
    return;
  }
  try {
    t_translator.Ensure();
    const YuvPlanes out = *destination;
    mivora::RunGuarded([&] { mivora::ResizeFrame(sourceY, sourceU, sourceV, out, *context); });
  } catch (const std::exception& error) {
    PrintFailure(kResizeName, error.what());
  } catch (...) {
    std::fprintf(stderr, "%s exception!\n", kResizeName);
  }
}

void GLIMRA_ReleaseResize(ResizeContext* context) { delete context; }

void GLIMRA_CropFrame(const uint8_t* sourceY, const uint8_t* sourceU, const uint8_t* sourceV,
                      YuvPlanes* destination, int* croppedWidth, int* croppedHeight,
                      ResizeContext* context) {
  if (croppedWidth) *croppedWidth = 0;
  if (croppedHeight) *croppedHeight = 0;
  if (context == nullptr || destination == nullptr) return;
  mivora::PlaneScaleParams luma, chroma;
  if (!mivora::CropRegionParams(*context, false, luma) ||
      !mivora::CropRegionParams(*context, true, chroma))
    return;
  const size_t lumaBytes = size_t(luma.outputWidth) * size_t(luma.outputRows);
  const size_t chromaBytes = size_t(chroma.outputWidth) * size_t(chroma.outputRows);
  if (lumaBytes == 0 || lumaBytes > kMaxCropBytes) return;
  if (croppedWidth) *croppedWidth = luma.outputWidth;
  if (croppedHeight) *croppedHeight = luma.outputRows;
  if (destination->y == nullptr) {
    destination->y = static_cast<uint8_t*>(std::malloc(lumaBytes));
    destination->u = static_cast<uint8_t*>(std::malloc(chromaBytes > 0 ? chromaBytes : 1));
    destination->v = static_cast<uint8_t*>(std::malloc(chromaBytes > 0 ? chromaBytes : 1));
    if (!destination->y || !destination->u || !destination->v) {
      std::free(destination->y);
      std::free(destination->u);
      std::free(destination->v);
      *destination = YuvPlanes{nullptr, nullptr, nullptr};
      if (croppedWidth) *croppedWidth = 0;
      if (croppedHeight) *croppedHeight = 0;
      return;
    }
  }
  if (sourceY == nullptr) return;
  mivora::CopyPlane(luma, sourceY, destination->y);
  if (chromaBytes == 0 || sourceU == nullptr || sourceV == nullptr || destination->u == nullptr ||
      destination->v == nullptr)
    return;
  mivora::CopyPlane(chroma, sourceU, destination->u);
  mivora::CopyPlane(chroma, sourceV, destination->v);
}

int GLIMRA_BitmapStride(int width) { return mivora::BitmapStride(width); }

void GLIMRA_ConvertYuv420Colour(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                                uint8_t* bits, int colour) {
  if (y == nullptr || u == nullptr || v == nullptr || bits == nullptr) return;
  mivora::ConvertYuv420ToBgr(y, u, v, width, height, bits, mivora::YuvColourFromCode(colour));
}

void GLIMRA_ConvertYuv420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                          int height, uint8_t* bits) {
  GLIMRA_ConvertYuv420Colour(y, u, v, width, height, bits, GLIMRA_YUV_FULL_RANGE);
}

int DrawYuv420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
               GlimraDrawTarget* target) {
  return DrawYuv420Colour(y, u, v, width, height, GLIMRA_YUV_FULL_RANGE, target);
}

int DrawYuv420Colour(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height, int colour,
                     GlimraDrawTarget* target) {
  const int stride = mivora::BitmapStride(width);
  if (y == nullptr || u == nullptr || v == nullptr || stride <= 0 || height <= 0 ||
      height > mivora::kMaxBitmapSide)
    return 1;
  try {
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(height));
    mivora::ConvertYuv420ToBgr(y, u, v, width, height, bits.data(), mivora::YuvColourFromCode(colour));
    if (target != nullptr && target->paint != nullptr) {
      GlimraBitmapInfo info{40, width, height, 1, 24, stride, stride * height};
      target->paint(target->user, &info, bits.data());
    }
  } catch (const std::exception& error) {
    PrintFailure("DrawYuv420", error.what());
  }
  return 1;
}

}  // extern "C"

static_assert(static_cast<int>(mivora::YuvColour::kTvBt601) == GLIMRA_YUV_TV_BT601 &&
              static_cast<int>(mivora::YuvColour::kTvBt709) == GLIMRA_YUV_TV_BT709 &&
              static_cast<int>(mivora::YuvColour::kTvBt2020) == GLIMRA_YUV_TV_BT2020);
