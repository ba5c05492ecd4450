#pragma once
// Media for tests, made on the spot with ffmpeg's generated sources, and what
// ffprobe reads back from a file.

#include <string>
#include <vector>

namespace mivora::test {

struct CommandResult {
  int exitCode = -1;   // -1 when the program could not be started or was killed
  std::string output;  // standard output and standard error together
};
// Runs a program with an argument vector (no shell), waiting for its end.
CommandResult RunCommand(const std::vector<std::string>& argv);

struct ClipSpec {
  double seconds = 2.0;
  int width = 320;
  int height = 240;
  int frameRate = 25;
  bool video = true;
  bool audio = true;
  std::string videoSource = "testsrc2";  // any lavfi video source name
  std::string container;                 // empty: from the file's extension
  std::string pixelFormat = "yuv420p";   // e.g. yuv422p10le for a deep-colour source
};
// Writes a clip to `path` (the extension picks the container; .mp4 uses
// H.264 and AAC, .avi MPEG-4 Part 2 and MP3, .wav/.mp3 audio only...).
// Fails the current test when ffmpeg fails.
void GenerateClip(const std::string& path, const ClipSpec& shape = {});

struct StreamFacts {
  bool present = false;
  std::string codec;      // ffprobe's codec_name
  int width = 0, height = 0;
  double frameRate = 0;   // r_frame_rate as a number
  int sampleRate = 0, channels = 0;
  std::string pixelFormat;  // ffprobe's pix_fmt
  std::string profile;      // ffprobe's profile, e.g. "Main"
};
struct ProbeFacts {
  bool readable = false;  // ffprobe could open the file
  double durationSeconds = 0;
  StreamFacts video, audio;
};
ProbeFacts ProbeWithFfprobe(const std::string& path);

// Decodes one frame at `seconds` as raw RGB24 (width * height * 3 bytes), as
// ffmpeg shows it: a track marked turned comes out turned, and `width` and
// `height` are the turned frame's.
std::vector<unsigned char> DecodeFrameRgb(const std::string& path, double seconds, int* width,
                                          int* height);

}  // namespace mivora::test
