#pragma once
// The player's shared block: the wire format between the preview library and
// the player `playrun`, shared by both sides.
//
// A POSIX shared-memory object "/" + name, where the name is "_scshare<N>"
// (N: the library's millisecond tick count when playing starts), of exactly
// kBlockBytes. Integers are 32-bit little-endian. The library creates it,
// zeroes its first kZeroedBytes, then starts the player with "-shmem NAME";
// the player maps it and removes the name at once, so the block disappears
// with the last process that maps it.
//
//   offset  size  written by  meaning
//        0     4  library     seek request: target position, percent 0..100
//        4     4  -           reserved
//        8     4  library     pause toggle request: 1 at each pause or resume
//       12     4  library     the window's client width in pixels
//       16     4  library     the window's client height
//       20    12  -           three reserved fields
//       32     4  library     full-screen request: 1
//       36     4  player      the current frame's colour: how its codes
//                             become colours (FrameColour; 0 also when the
//                             player does not say)
//       40     8  player      the picture's shape as shown: width and height
//                             in square pixels (sample aspect applied);
//                             0 x 0 when the player does not say
//       48   352  -           unused
//      400   800  player      status text, NUL-terminated
//     1200  rest  player      the current frame: Y (width x height bytes),
//                             then U and V (width x height / 4 bytes each)
//
// The library only ever writes a request value and never clears it; the
// player takes each request by exchanging the field with its own "nothing
// requested" value (kNoSeekRequest for the seek field, 0 for the others).
// The frame's size travels in the frame announcement (CopyDataProtocol.h).
//
// Status text: "<elapsed>/<duration> (<position>) [<duration units>] <WxH>",
// for example "0:00:05/0:00:10 (5000) [10000] <320x240>": the elapsed time as
// display text before the first "/", the position and the duration in
// milliseconds in parentheses and square brackets, the video's frame size in
// angle brackets.

#include <cstddef>
#include <cstdint>
#include <string>

namespace mivora::playerblock {

constexpr size_t kBlockBytes = 0x400000;
constexpr size_t kZeroedBytes = 1024;

constexpr size_t kSeekOffset = 0;
constexpr size_t kReserved0Offset = 4;
constexpr size_t kPauseOffset = 8;
constexpr size_t kWidthOffset = 12;
constexpr size_t kHeightOffset = 16;
constexpr size_t kReserved1Offset = 20;
constexpr size_t kReserved2Offset = 24;
constexpr size_t kReserved3Offset = 28;
constexpr size_t kFullScreenOffset = 32;
constexpr size_t kFrameColourOffset = 36;
constexpr size_t kShapeWidthOffset = 40;
constexpr size_t kShapeHeightOffset = 44;
constexpr size_t kStatusOffset = 400;
constexpr size_t kStatusBytes = 800;
constexpr size_t kFrameOffset = 1200;
constexpr size_t kFrameCapacity = kBlockBytes - kFrameOffset;

// Values of the frame colour field: full-range codes (drawn with the
// preview's own arithmetic), or TV-range codes of the named matrix.
enum FrameColour : int32_t { kFullRange = 0, kTvBt601 = 1, kTvBt709 = 2, kTvBt2020 = 3 };

// What the player leaves in the seek field once it has taken a request.
constexpr int32_t kNoSeekRequest = -1;

// Bytes of one YUV 4:2:0 frame as it lies in the block.
constexpr size_t FrameBytes(size_t width, size_t height) {
  return width * height + 2 * (width * height / 4);
}
constexpr bool FrameFits(size_t width, size_t height) {
  return FrameBytes(width, height) <= kFrameCapacity;
}

inline std::string BlockName(long tickMs) { return "_scshare" + std::to_string(tickMs); }

// Control fields are plain 32-bit values that the other process reads and
// writes at any time; these keep each access whole.
inline int32_t* Field(uint8_t* block, size_t offset) {
  return reinterpret_cast<int32_t*>(block + offset);
}
inline int32_t LoadField(const int32_t* field) { return __atomic_load_n(field, __ATOMIC_ACQUIRE); }
inline void StoreField(int32_t* field, int32_t value) {
  __atomic_store_n(field, value, __ATOMIC_RELEASE);
}
inline int32_t TakeField(int32_t* field, int32_t nothing) {
  return __atomic_exchange_n(field, nothing, __ATOMIC_ACQ_REL);
}

}  // namespace mivora::playerblock
