#pragma once
// Media as people have it, made on the spot with ffmpeg: 10-bit HDR clips
// (PQ or HLG), several audio tracks, variable frame rate phone clips with
// flashes and beeps at known times, clips with subtitle tracks; and the
// measurements the tests take on what comes out.

#include <string>
#include <vector>

namespace mivora::test {

enum class HdrTransfer { kPq, kHlg };
// A 320x240, 10-bit 4:2:0 H.264 (High 10) clip tagged BT.2020 with the
// transfer, of a moving test picture, with sound. Without `namesColours` only
// the transfer is tagged (primaries and matrix left unspecified).
void GenerateHdrClip(const std::string& path, HdrTransfer transfer, double seconds = 1.0,
                     bool namesColours = true);

// The mastering display and content light GenerateMasteredHdrClip writes.
struct MasteringValues {
  const char* x265Parameters;
  double maxLuminance;       // cd/m²
  int maxContentLight;       // cd/m²
};
inline const MasteringValues kMastering = {
    "master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,50):max-cll=1000,400",
    1000, 1000};
// As GenerateHdrClip, but H.265 Main 10 in Matroska carrying the mastering
// display and content light level of a graded HDR10 (or HLG) file, as a
// current camera or phone writes them.
void GenerateMasteredHdrClip(const std::string& path, HdrTransfer transfer, double seconds = 1.0);

// A camera-like clip of `width` x `height` at 25 frames per second: a moving
// test picture under fine temporal grain (sensor noise), with sound.
void GenerateCameraClip(const std::string& path, int width, int height, double seconds);

// A clip with two audio tracks: the first stereo and silent, the second mono,
// a loud tone, marked as the default track. The extension picks the container.
void GenerateTwoAudioTrackClip(const std::string& path, double seconds = 1.0);

// A phone-style clip of variable frame rate (frames 20 ms and 50 ms apart, by
// turns) whose picture flashes white and whose sound beeps at the same
// moments, `kFlashTimes`.
inline const std::vector<double> kFlashTimes = {0.5, 1.5, 2.5};
void GenerateVariableRateClip(const std::string& path, double seconds = 3.0);

// A motion photo as phones write it: an MP4 with a single 1024x768 still
// frame (listed first, or after the video) and a 2 s, 320x240 video, both
// marked default.
void GenerateMotionPhotoLikeClip(const std::string& path, bool stillFirst = true);

// A 10 s MP4 (its index at the front) cut off after `keptShare` of its
// bytes, as an interrupted download leaves it: its tracks still claim 10 s.
void GenerateCutOffClip(const std::string& path, double keptShare = 0.3);

// A clip with a text subtitle track: mov_text in .mp4/.mov, SubRip in .mkv.
void GenerateSubtitledClip(const std::string& path, double seconds = 1.0);

// Start times (seconds) of the picture's flashes: frames whose mean luma
// jumps above 180 after frames below it.
std::vector<double> FlashTimes(const std::string& path);
// Start times (seconds) of the sound's beeps: 10 ms windows whose peak rises
// above -20 dBFS after windows below it.
std::vector<double> BeepTimes(const std::string& path);
// The mean volume of the audio the file plays, dBFS (-100 without audio).
double MeanVolumeDb(const std::string& path);
// ffprobe's fields of the first video stream (e.g. "color_transfer",
// "pix_fmt"); empty when absent.
std::string VideoStreamField(const std::string& path, const std::string& field);
// The codec types of all streams, in order ("video", "audio", "subtitle").
std::vector<std::string> StreamTypes(const std::string& path);
// Mean of the luma plane (0..255) of the frame at `seconds`, decoded to 8-bit
// 4:2:0 through `filters` (ffmpeg's -vf, or empty).
double MeanLumaAt(const std::string& path, double seconds, const std::string& filters = "");

// A clip of a smooth, bright picture (ramps and ripples, nowhere near black,
// so black bars around it are told apart) of `width` x `height` coded pixels
// with the sample aspect `sarNum`:`sarDen` (0:0 writes none) and the track
// turned clockwise by `degrees` (an .mp4 path then), 10 frames a second.
struct ShapedClip {
  int width = 320, height = 240;
  int sarNum = 0, sarDen = 0;
  int degrees = 0;
  double seconds = 1.0;
};
void GenerateShapedClip(const std::string& path, const ShapedClip& shape);

}  // namespace mivora::test
