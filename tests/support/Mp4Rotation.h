#pragma once
// Marks the video track of an MP4/MOV file as rotated for display, the way a
// phone records a portrait clip: the coded picture stays as it is and the
// track header's display matrix tells players to turn it. Debian's ffmpeg
// cannot write that matrix itself, so tests patch it in place.

#include <string>

#include "tests/support/TestMedia.h"

namespace mivora::test {

// Rewrites the display matrix of every video track header (`tkhd`) in `path`
// so that players turn the picture clockwise by `degrees` (0, 90, 180 or 270;
// 90 is what ffprobe shows as "rotation of -90.00 degrees"). The file keeps
// its size. Returns false with the reason in `error` when the degrees are not
// one of those four, the file cannot be read or written, or it holds no video
// track header.
bool SetMp4Rotation(const std::string& path, int degrees, std::string* error = nullptr);

// Generates a clip with GenerateClip (an .mp4 or .mov path) and then marks
// its video track rotated clockwise by `degrees`. Fails the current test when
// either step fails.
void GenerateRotatedClip(const std::string& path, const ClipSpec& shape, int degrees);

// The clockwise display rotation ffprobe reads from the file's video stream
// (0, 90, 180 or 270), or -1 when it cannot tell.
int ProbeRotationWithFfprobe(const std::string& path);

// As SetMp4Rotation, with a matrix that also mirrors the picture left to
// right after the turn, as phones write for their front cameras (90 degrees:
// the picture's rows become its columns, ffmpeg's "transpose" without a flip).
bool SetMp4MirroredRotation(const std::string& path, int degrees, std::string* error = nullptr);
// GenerateClip, then SetMp4MirroredRotation.
void GenerateMirroredClip(const std::string& path, const ClipSpec& shape, int degrees);

}  // namespace mivora::test
