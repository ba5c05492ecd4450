#include "tests/support/Mp4Rotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace mivora::test {
namespace {

using Bytes = std::vector<unsigned char>;

uint32_t ReadU32(const Bytes& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

uint64_t ReadU64(const Bytes& b, size_t at) { return (uint64_t{ReadU32(b, at)} << 32) | ReadU32(b, at + 4); }

void WriteU32(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<unsigned char>(v >> 24);
  b[at + 1] = static_cast<unsigned char>(v >> 16);
  b[at + 2] = static_cast<unsigned char>(v >> 8);
  b[at + 3] = static_cast<unsigned char>(v);
}

struct Box {
  std::string type;
  size_t body = 0;  // first byte after the header
  size_t end = 0;   // one past the last byte
};

// The boxes directly inside [begin, end); stops at the first malformed header.
std::vector<Box> Children(const Bytes& b, size_t begin, size_t end) {
  std::vector<Box> boxes;
  size_t at = begin;
  while (at + 8 <= end) {
    uint64_t size = ReadU32(b, at);
    size_t header = 8;
    if (size == 1) {
      if (at + 16 > end) break;
      size = ReadU64(b, at + 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) break;
    boxes.push_back({std::string(reinterpret_cast<const char*>(&b[at + 4]), 4), at + header,
                     at + static_cast<size_t>(size)});
    at += static_cast<size_t>(size);
  }
  return boxes;
}

// A copy of the first box of that type: the list is often a temporary.
std::optional<Box> Find(const std::vector<Box>& boxes, const char* type) {
  for (const Box& box : boxes)
    if (box.type == type) return box;
  return std::nullopt;
}

bool IsVideoTrack(const Bytes& b, const Box& trak) {
  std::optional<Box> mdia = Find(Children(b, trak.body, trak.end), "mdia");
  if (!mdia) return false;
  std::optional<Box> hdlr = Find(Children(b, mdia->body, mdia->end), "hdlr");
  // version and flags (4), pre_defined (4), then the handler type.
  return hdlr && hdlr->body + 12 <= hdlr->end &&
         std::string(reinterpret_cast<const char*>(&b[hdlr->body + 8]), 4) == "vide";
}

// Writes the 3x3 matrix {a b u, c d v, x y w} of a clockwise turn. a..d and
// x, y are 16.16 fixed point, u, v, w 2.30. The translation moves the turned
// picture back into view, as recorders write it.
bool WriteMatrix(Bytes& b, const Box& tkhd, int degrees, bool mirrored = false) {
  if (tkhd.body + 4 > tkhd.end) return false;
  int version = b[tkhd.body];
  // After version/flags: times, track id, reserved, duration, reserved,
  // layer, group, volume, reserved; version 1 has 64-bit times and duration.
  size_t matrix = tkhd.body + (version == 1 ? 4 + 48 : 4 + 36);
  if (matrix + 36 + 8 > tkhd.end) return false;
  uint32_t width = ReadU32(b, matrix + 36) >> 16, height = ReadU32(b, matrix + 40) >> 16;
  const uint32_t one = 0x00010000, minusOne = 0xFFFF0000;
  uint32_t m[9] = {one, 0, 0, 0, one, 0, 0, 0, 0x40000000};
  switch (degrees) {
    case 90:
      m[0] = 0, m[1] = one, m[3] = minusOne, m[4] = 0, m[6] = height << 16;
      break;
    case 180:
      m[0] = minusOne, m[4] = minusOne, m[6] = width << 16, m[7] = height << 16;
      break;
    case 270:
      m[0] = 0, m[1] = minusOne, m[3] = one, m[4] = 0, m[7] = width << 16;
      break;
    default:
      break;
  }
  if (mirrored) {
    // Then left to right: the first column's signs change and the picture
    // is moved back by its shown width.
    m[0] = 0u - m[0], m[3] = 0u - m[3];
    const uint32_t shownWidth = degrees % 180 ? height : width;
    m[6] = m[6] ? 0 : shownWidth << 16;
  }
  for (int i = 0; i < 9; ++i) WriteU32(b, matrix + 4 * i, m[i]);
  return true;
}

}  // namespace

namespace {

bool PatchMatrix(const std::string& path, int degrees, bool mirrored, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (degrees != 0 && degrees != 90 && degrees != 180 && degrees != 270)
    return fail("rotation must be 0, 90, 180 or 270 degrees");
  Bytes bytes;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail("cannot read " + path);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  int patched = 0;
  for (const Box& moov : Children(bytes, 0, bytes.size())) {
    if (moov.type != "moov") continue;
    for (const Box& trak : Children(bytes, moov.body, moov.end)) {
      if (trak.type != "trak" || !IsVideoTrack(bytes, trak)) continue;
      std::optional<Box> tkhd = Find(Children(bytes, trak.body, trak.end), "tkhd");
      if (tkhd && WriteMatrix(bytes, *tkhd, degrees, mirrored)) ++patched;
    }
  }
  if (patched == 0) return fail("no video track header in " + path);
  std::ofstream out(path, std::ios::binary | std::ios::in | std::ios::out);
  if (!out || !out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size()))
    return fail("cannot write " + path);
  return true;
}

}  // namespace

bool SetMp4Rotation(const std::string& path, int degrees, std::string* error) {
  return PatchMatrix(path, degrees, false, error);
}

bool SetMp4MirroredRotation(const std::string& path, int degrees, std::string* error) {
  return PatchMatrix(path, degrees, true, error);
}

void GenerateMirroredClip(const std::string& path, const ClipSpec& shape, int degrees) {
  GenerateClip(path, shape);
  if (testing::Test::HasFatalFailure()) return;
  std::string error;
  ASSERT_TRUE(SetMp4MirroredRotation(path, degrees, &error)) << error;
}

void GenerateRotatedClip(const std::string& path, const ClipSpec& shape, int degrees) {
  GenerateClip(path, shape);
  if (testing::Test::HasFatalFailure()) return;
  std::string error;
  ASSERT_TRUE(SetMp4Rotation(path, degrees, &error)) << error;
}

int ProbeRotationWithFfprobe(const std::string& path) {
  // The display matrix's side data gives the counter-clockwise angle.
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream_side_data=rotation", "-of", "default=noprint_wrappers=1:nokey=1",
                                "file:" + path});
  if (r.exitCode != 0) return -1;
  if (r.output.find_first_of("-0123456789") == std::string::npos) return 0;
  long counterClockwise = std::lround(std::atof(r.output.c_str() + r.output.find_first_of("-0123456789")));
  return static_cast<int>(((-counterClockwise % 360) + 360) % 360);
}

}  // namespace mivora::test
