#pragma once
// Frame functions of the preview library libglimra.so: crop and scale a
// YUV 4:2:0 frame for the editor's panes, cut a crop rectangle out of a frame,
// and turn a frame into a bottom-up 24-bit BGR bitmap for painting.
//
// Plain C linkage; these names and the CPlayStatic window class
// (PlayStatic.h) are the library's whole interface. Planes are
// tightly packed: Y is width x height bytes, U and V (width / 2) x (height / 2).

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define GLIMRA_API __attribute__((visibility("default")))

// The three plane pointers of one frame, in the order Y, U, V.
typedef struct YuvPlanes {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
} YuvPlanes;

// Scaling context for one source size, crop rectangle and destination size.
typedef struct ResizeContext ResizeContext;

// Where DrawYuv420 hands its bitmap: `paint` receives the BGR rows bottom-up,
// `stride` bytes apart, valid only during the call.
typedef struct GlimraBitmapInfo {
  int32_t headerSize;  // 40
  int32_t width;
  int32_t height;      // positive: rows bottom-up
  int16_t planes;      // 1
  int16_t bitCount;    // 24
  int32_t stride;      // width * 3 rounded up to a multiple of 4
  int32_t imageSize;   // stride * height
} GlimraBitmapInfo;

typedef struct GlimraDrawTarget {
  void (*paint)(void* user, const GlimraBitmapInfo* info, const uint8_t* bits);
  void* user;
} GlimraDrawTarget;

// Prepares a context. Crop coordinates are source pixels (left and right
// rounded to multiples of 4, top and bottom to multiples of 2). A destination
// width or height of 0, or sizes outside 0..32768, give a context that
// scales nothing. Free it with GLIMRA_ReleaseResize.
GLIMRA_API ResizeContext* GLIMRA_InitResize(int sourceWidth, int sourceHeight, int destinationWidth,
                                            int destinationHeight, int cropLeft, int cropTop,
                                            int cropRight, int cropBottom);

// Crops and scales one frame into the caller's planes (destination width x
// height bytes of Y, a quarter of that of U and V). A machine fault inside is
// reported on standard error as "[GLIMRA_ResizeFrame]: <report>" and the call
// returns normally (the destination may then be partly written).
GLIMRA_API void GLIMRA_ResizeFrame(const uint8_t* sourceY, const uint8_t* sourceU,
                                   const uint8_t* sourceV, YuvPlanes* destination,
                                   ResizeContext* context);

GLIMRA_API void GLIMRA_ReleaseResize(ResizeContext* context);

// Cuts the context's crop rectangle out of a frame. When destination->y is
// null the three planes are allocated with malloc (the caller frees them).
GLIMRA_API void GLIMRA_CropFrame(const uint8_t* sourceY, const uint8_t* sourceU,
                                 const uint8_t* sourceV, YuvPlanes* destination, int* croppedWidth,
                                 int* croppedHeight, ResizeContext* context);

// Bitmap row stride for a width: width * 3 padded up to a multiple of 4.
GLIMRA_API int GLIMRA_BitmapStride(int width);

// How a frame's codes become colours: full range (Y 0..255) with the
// preview's own arithmetic, or TV range (Y 16..235) expanded with the matrix
// the frame was made with. The player tells each frame's (PlayStatic.h).
#define GLIMRA_YUV_FULL_RANGE 0
#define GLIMRA_YUV_TV_BT601 1
#define GLIMRA_YUV_TV_BT709 2
#define GLIMRA_YUV_TV_BT2020 3

// Converts a frame into `bits` (GLIMRA_BitmapStride(width) x height bytes):
// blue, green, red per pixel, source row i at bitmap row height - 1 - i.
// The frame is taken as full range.
GLIMRA_API void GLIMRA_ConvertYuv420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                                     int height, uint8_t* bits);
// The same for a frame of the given GLIMRA_YUV_* colour (other values: full range).
GLIMRA_API void GLIMRA_ConvertYuv420Colour(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                                           int height, uint8_t* bits, int colour);

// Converts a full-range frame and hands the bitmap to `target`; always returns 1.
GLIMRA_API int DrawYuv420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                          int height, GlimraDrawTarget* target);
// The same for a frame of the given GLIMRA_YUV_* colour.
GLIMRA_API int DrawYuv420Colour(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width, int height,
                                int colour, GlimraDrawTarget* target);

// Inert entry points kept for the program's interface: the Init, Seek and
// Is* functions return 0, the others do nothing.
GLIMRA_API int DVD_Init(void);
GLIMRA_API void DVD_Stop(void);
GLIMRA_API int DVD_Seek(void);
GLIMRA_API void DVD_Pause(void);
GLIMRA_API void DVD_Release(void);
GLIMRA_API void DVD_Play(void);
GLIMRA_API void DVD_SetPaint_Callback(void);
GLIMRA_API int DVD_IsPlaying(void);
GLIMRA_API int DVD_IsPause(void);

#ifdef __cplusplus
}
#endif
