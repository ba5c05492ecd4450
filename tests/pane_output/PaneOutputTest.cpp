// The right pane shows what the file will hold: for each combination of
// edits, the pane (EditorFrameHandler on the source frame as the player hands
// it over) is compared with the converted file's frame at the same moment,
// both as a screen shows them: the pane's colours against the file decoded
// to RGB by ffmpeg (TV range expanded with the file's matrix), by the PSNR
// over red, green and blue. The table of results is printed.

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "app/editor/EditorFrameHandler.h"
#include "common/Folders.h"
#include "platform/PlayerSharedBlock.h"
#include "preview/Glimra.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "tests/player/PlayerHarness.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "tools/colour/ColourRule.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace mivora {
namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr double kAt = 0.5;          // seconds into the clip
constexpr double kThresholdDb = 30;  // a mirrored or shifted region scores far below

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";

// MPEG-4 Part 2 at 320x240 and a high bit rate: close to lossless; in MP4,
// which keeps the colours the engine names (AVI keeps none, and a screen then
// takes an SD picture as BT.601).
const std::string& Profile() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("profile") + "/Pane.xml";
    test::WriteFile(p,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
                    "    <ProfileName value=\"Pane\"/>\n"
                    "    <FormatExt value=\"mp4\"/>\n"
                    "    <VideoCodec value=\"MPEG4\" index=\"0\"/>\n"
                    "    <VideoBitrate value=\"10000\" index=\"0\"/>\n"
                    "    <VideoSize value=\"320x240\" index=\"0\"/>\n"
                    "    <AudioCodec value=\"MP2\" index=\"0\"/>\n"
                    "    <AudioBitrate value=\"128\" index=\"0\"/>\n"
                    "    <VideoBitrateList value=\"10000\" index=\"0\"/>\n"
                    "</Profile>\n");
    return p;
  }();
  return path;
}

// A still picture that tells left from right and top from bottom: luma and
// chroma ramps with a ripple, and a white box near the top-left corner.
// The pattern written to `path` (through `filters` after it, e.g. a scale,
// and the encoder options `encode`), one second with sound.
std::string WritePattern(const std::string& path, const std::string& filters,
                         const std::vector<std::string>& encode) {
  std::vector<std::string> argv = {
      "ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
      "nullsrc=size=320x240:rate=25,geq=lum='20+X*0.55+Y*0.2+25*sin(X/13)*sin(Y/11)':"
      "cb='128+(X-160)/4':cr='128+(Y-120)/3',drawbox=x=30:y=40:w=40:h=30:color=white:t=fill," +
          filters,
      "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "1"};
  argv.insert(argv.end(), encode.begin(), encode.end());
  argv.push_back("file:" + path);
  auto r = test::RunCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  return path;
}

const std::string& PatternClip() {
  static const std::string path = WritePattern(test::MakeTempDir("pattern") + "/pattern.mkv", "format=yuv420p",
                                               {"-c:v", "libx264", "-qp", "0", "-c:a", "mp2"});
  return path;
}

const std::string& HdrClip(test::HdrTransfer transfer, bool namesColours = true) {
  static std::map<std::pair<test::HdrTransfer, bool>, std::string> clips;
  std::string& path = clips[{transfer, namesColours}];
  if (path.empty()) {
    path = test::MakeTempDir("hdr") + (transfer == test::HdrTransfer::kPq ? "/pq" : "/hlg") +
           (namesColours ? ".mp4" : "-untagged.mp4");
    if (transfer == test::HdrTransfer::kHlg && namesColours) {
      // The pattern, whose colours change smoothly (testsrc2's sharp bars
      // and noise weigh on red, green and blue more than on luma).
      WritePattern(path, "format=yuv420p10le",
                   {"-c:v", "libx264", "-profile:v", "high10", "-crf", "8", "-color_trc", "arib-std-b67",
                    "-color_primaries", "bt2020", "-colorspace", "bt2020nc", "-c:a", "aac"});
    } else {
      test::GenerateHdrClip(path, transfer, 1.0, namesColours);
    }
  }
  return path;
}

const std::string& Logo() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("logo") + "/logo.png";
    auto r = test::RunCommand({"ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                               "color=0x20C040:size=60x40,drawbox=x=0:y=0:w=20:h=40:color=0xE02020:t=fill",
                               "-frames:v", "1", "file:" + p});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return p;
  }();
  return path;
}

// The player converts HDR sources to SDR with the colour rule's chain before
// it hands frames over, like the engine does to the output.
const std::string kPlayerToneMap = colour::kToneMapToSdr;

// The number of the frame shown at `seconds` of a clip of `path`'s frame
// rate. Frames are picked by number, not by seeking: a source whose sound
// starts early (AAC's priming) and the file made from it would otherwise
// give frames one apart.
int FrameAt(const std::string& path, double seconds);

// One 8-bit 4:2:0 frame of `path` at `seconds`, decoded as the player does
// (turned as the track says, through `filters`), of `width` x `height`.
YuvFrame DecodeYuv(const std::string& path, double seconds, const std::string& filters = "",
                   int width = kWidth, int height = kHeight) {
  std::string out = test::MakeTempDir("frame") + "/frame.yuv";
  std::string chain = "select=eq(n\\," + std::to_string(FrameAt(path, seconds)) + ")," +
                      (filters.empty() ? "format=yuv420p" : filters + ",format=yuv420p");
  auto r = test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", "file:" + path, "-vf", chain,
                             "-frames:v", "1", "-f", "rawvideo", "file:" + out});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string data = test::ReadFile(out);
  YuvFrame frame(width, height);
  const size_t bytes = frame.lumaBytes() + 2 * frame.chromaBytes();
  EXPECT_EQ(data.size(), bytes) << path;
  if (data.size() == bytes) std::memcpy(frame.Y(), data.data(), bytes);
  return frame;
}

// What ffprobe says of the first video stream: a field of -show_entries.
std::string ProbeField(const std::string& path, const std::string& field) {
  auto r = test::RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=" + field, "-of", "default=noprint_wrappers=1:nokey=1", "file:" + path});
  std::string value = r.output.substr(0, r.output.find('\n'));
  return value;
}

int FrameAt(const std::string& path, double seconds) {
  const std::string rate = ProbeField(path, "r_frame_rate");  // "25/1"
  const double num = std::atof(rate.c_str());
  const double den = rate.find('/') != std::string::npos ? std::atof(rate.c_str() + rate.find('/') + 1) : 1;
  return den > 0 ? static_cast<int>(std::lround(seconds * num / den)) : 0;
}

// How a screen shows the codes of `path`'s frames, by the colour rule.
colour::ScreenColour ScreenColourOfFile(const std::string& path) {
  const int range = ProbeField(path, "color_range") == "pc" ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  const int matrix = av_color_space_from_name(ProbeField(path, "color_space").c_str());
  return colour::ScreenColourOf(range, matrix, std::atoi(ProbeField(path, "height").c_str()));
}

// The luma and chroma weights of each screen colour's matrix (red, blue).
std::pair<double, double> MatrixWeights(colour::ScreenColour c) {
  switch (c) {
    case colour::ScreenColour::kTvBt709: return {0.2126, 0.0722};
    case colour::ScreenColour::kTvBt2020: return {0.2627, 0.0593};
    default: return {0.299, 0.114};
  }
}

// A frame as a screen shows it, computed here in double precision from the
// standard's formulas: TV range expanded (Y 16..235, U and V 16..240) with
// the matrix, full range as it is; each pixel with its 2 x 2 block's chroma
// sample, as the pane takes it.
QImage ScreenPicture(const YuvFrame& frame, colour::ScreenColour c) {
  const bool full = c == colour::ScreenColour::kFullRange;
  const auto [kr, kb] = MatrixWeights(c);
  const double kg = 1 - kr - kb;
  const double lumaScale = full ? 1 : 255.0 / 219, chromaScale = full ? 1 : 255.0 / 224;
  QImage image(frame.width(), frame.height(), QImage::Format_RGB888);
  auto clamp = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
  for (int y = 0; y < frame.height(); ++y)
    for (int x = 0; x < frame.width(); ++x) {
      const int k = (y / 2) * frame.chromaWidth() + x / 2;
      const double l = (frame.Y()[y * frame.width() + x] - (full ? 0 : 16)) * lumaScale;
      const double cb = (frame.U()[k] - 128) * chromaScale, cr = (frame.V()[k] - 128) * chromaScale;
      const double r = l + 2 * (1 - kr) * cr, b = l + 2 * (1 - kb) * cb;
      const double g = l - 2 * kb * (1 - kb) / kg * cb - 2 * kr * (1 - kr) / kg * cr;
      image.setPixel(x, y, qRgb(clamp(r), clamp(g), clamp(b)));
    }
  return image;
}

// The file's frame at `seconds` as a screen shows it: decoded by ffmpeg,
// expanded with the range and matrix the file names (by the colour rule
// where it names none).
QImage DecodeRgb(const std::string& path, double seconds, QSize size = QSize(kWidth, kHeight)) {
  const std::string scale = "scale=" + std::to_string(size.width()) + ":" + std::to_string(size.height());
  return ScreenPicture(DecodeYuv(path, seconds, scale, size.width(), size.height()), ScreenColourOfFile(path));
}

// Red, green and blue of an RGB picture, in that order per pixel, each the
// mean over the pixel's 3 x 3 neighbourhood: the pane's scaler and the
// engine's place a sharp edge of colour (chroma has half the resolution)
// up to a pixel apart, which alone would dominate the measure; levels,
// colours, a mirrored or a shifted region still show in full. `mirrored`
// reads each row from right to left.
std::vector<double> ColoursOf(const QImage& image, bool mirrored = false) {
  const int width = image.width(), height = image.height();
  std::vector<double> colours;
  colours.reserve(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      double sum[3] = {0, 0, 0};
      int count = 0;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx < 0 || sy < 0 || sx >= width || sy >= height) continue;
          const QRgb p = image.pixel(mirrored ? width - 1 - sx : sx, sy);
          sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p), ++count;
        }
      colours.insert(colours.end(), {sum[0] / count, sum[1] / count, sum[2] / count});
    }
  return colours;
}

double Psnr(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  double mse = sum / a.size();
  return mse < 1e-9 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The edit record as mivora-cli's --edit options.
std::vector<std::string> EditOptions(const EditSettings& e) {
  std::vector<std::string> args;
  auto add = [&](const char* field, const std::string& value) {
    args.push_back("--edit");
    args.push_back(std::string(field) + "=" + value);
  };
  auto number = [&](const char* field, int64_t value) { add(field, std::to_string(value)); };
  number("cropEnabled", e.cropEnabled);
  number("cropLeft", e.cropLeft), number("cropTop", e.cropTop);
  number("cropRight", e.cropRight), number("cropBottom", e.cropBottom);
  number("effectsEnabled", e.effectsEnabled);
  number("brightness", e.brightness), number("contrast", e.contrast), number("saturation", e.saturation);
  number("flipVertical", e.flipVertical), number("flipHorizontal", e.flipHorizontal);
  number("effect", e.effect);
  number("textEnabled", e.textEnabled);
  if (e.textEnabled) {
    add("fontFace", e.fontFace), add("watermarkText", e.watermarkText);
    number("textColor", static_cast<int32_t>(e.textColor)), number("fontSize", e.fontSize);
    number("textAlpha", e.textAlpha), number("textLeft", e.textLeft), number("textTop", e.textTop);
  }
  number("pictureEnabled", e.pictureEnabled);
  if (e.pictureEnabled) {
    add("picturePath", e.picturePath);
    number("pictureLeft", e.pictureLeft), number("pictureTop", e.pictureTop);
    number("pictureWidth", e.pictureWidth), number("pictureHeight", e.pictureHeight);
  }
  number("stereoEnabled", e.stereoEnabled);
  number("stereoMode", e.stereoMode), number("stereoDepth", e.stereoDepth);
  return args;
}

// Converts `source` with the edits through the program's path with
// `profile`; the output.
std::string Convert(const std::string& source, const EditSettings& edits, const std::string& profile) {
  std::string out = test::MakeTempDir("out");
  std::vector<std::string> argv = {kCli, "convert", "--profile", profile, "-o", out};
  for (const std::string& option : EditOptions(edits)) argv.push_back(option);
  argv.push_back(source);
  test::CommandResult r = test::RunCommand(argv);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  mivora::Profile loaded;
  EXPECT_TRUE(loaded.Load(profile));
  std::string name(BaseName(source));
  return out + "/" + name.substr(0, name.rfind('.')) + "." + loaded.formatExt;
}

// A shipped profile, or a copy of it with another display aspect.
std::string ShippedProfile(const std::string& relative, const std::string& aspect = "") {
  const std::string shipped = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/" + relative;
  if (aspect.empty()) return shipped;
  std::string text = test::ReadFile(shipped);
  const std::string from = "<VideoAspectRatio value=\"";
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos);
  text.replace(at + from.size(), text.find('"', at + from.size()) - at - from.size(), aspect);
  const std::string copy = test::MakeTempDir("profile") + "/" + std::string(BaseName(relative));
  test::WriteFile(copy, text);
  return copy;
}

struct Combination {
  std::string name;
  std::function<std::string()> source;
  std::function<void(EditSettings&)> edit;
  std::string playerFilters;  // what the player does to the source's frames
  QSize handedOver = QSize(kWidth, kHeight);  // the frames' size as the player hands them over
  QSize source_ = QSize();  // the displayed source frame's size, when the frames are smaller
  // Take the frame from the real player (playrun) instead of ffmpeg's
  // decode through `playerFilters`; it also tells the frame's colour.
  bool fromPlayer = false;
  // Further checks of the pane and the file's pictures.
  std::function<void(const QImage& pane, const QImage& file)> check;
  // The profile the file is converted with (its frame size and shape).
  std::function<std::string()> profile = [] { return Profile(); };
};

// A portrait phone clip: 320x240 coded, the track turned by 90 degrees, so
// it shows 240x320.
const std::string& TurnedClip() {
  static const std::string path = [] {
    std::string p = WritePattern(test::MakeTempDir("turned") + "/portrait.mp4", "format=yuv420p",
                                 {"-c:v", "libx264", "-qp", "0", "-c:a", "aac"});
    std::string error;
    EXPECT_TRUE(test::SetMp4Rotation(p, 90, &error)) << error;
    return p;
  }();
  return path;
}

// The same with a display matrix that mirrors as well as turns (front
// cameras): it shows 240x320, mirrored left to right.
const std::string& MirroredClip() {
  static const std::string path = [] {
    std::string p = WritePattern(test::MakeTempDir("mirrored") + "/front-camera.mp4", "format=yuv420p",
                                 {"-c:v", "libx264", "-qp", "0", "-c:a", "aac"});
    std::string error;
    EXPECT_TRUE(test::SetMp4MirroredRotation(p, 90, &error)) << error;
    return p;
  }();
  return path;
}

// TV-range black (16) on the left half and white (235) on the right.
const std::string& LevelsClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("levels") + "/levels.mp4";
    auto r = test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                               "nullsrc=size=320x240:rate=25,geq=lum='if(lt(X,160),16,235)':cb=128:cr=128",
                               "-t", "1", "-c:v", "libx264", "-qp", "0", "-pix_fmt", "yuv420p", "file:" + p});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return p;
  }();
  return path;
}

// The pane shows TV black at most 4 and TV white at least 250 (inside each
// half, away from the edge between them).
void BlackAndWhite(const QImage& pane, const QImage&) {
  int darkest = 255, brightest = 0, blackest = 0, whitest = 255;
  for (int y = 8; y < pane.height() - 8; ++y)
    for (int x = 8; x < pane.width() - 8; ++x) {
      if (std::abs(x - pane.width() / 2) < 8) continue;
      const QRgb p = pane.pixel(x, y);
      const int low = std::min({qRed(p), qGreen(p), qBlue(p)}), high = std::max({qRed(p), qGreen(p), qBlue(p)});
      if (x < pane.width() / 2) blackest = std::max(blackest, high), darkest = std::min(darkest, low);
      else whitest = std::min(whitest, low), brightest = std::max(brightest, high);
    }
  EXPECT_LE(blackest, 4) << "TV black in the pane";
  EXPECT_GE(whitest, 250) << "TV white in the pane";
}

// A 4K clip (few frames, to stay quick) of the pattern, named BT.709 as 4K
// cameras name it; the player hands its frames over scaled down to 2228x1254.
const std::string& UhdClip() {
  static const std::string path = WritePattern(
      test::MakeTempDir("uhd") + "/uhd.mp4", "scale=3840:2160,fps=5,format=yuv420p",
      {"-c:v", "libx264", "-crf", "10", "-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709",
       "-c:a", "aac"});
  return path;
}

// Clips of other shapes than the pane's, for the output frame's shape.
const std::string& ShapedClip(const std::string& name, test::ShapedClip shape) {
  static std::map<std::string, std::string> clips;
  std::string& path = clips[name];
  if (path.empty()) {
    path = test::MakeTempDir("shaped") + "/" + name + ".mp4";
    test::GenerateShapedClip(path, shape);
  }
  return path;
}
const std::string& PhoneClip() { return ShapedClip("phone", {1920, 1080, 0, 0, 90}); }
const std::string& StandardClip() { return ShapedClip("standard", {640, 480}); }
const std::string& ScopeClip() { return ShapedClip("scope", {956, 400}); }

EditSettings Neutral() {
  EditSettings e;
  e.contrast = e.saturation = 100;
  return e;
}
void Crop(EditSettings& e, int left, int top, int right, int bottom) {
  e.cropEnabled = 1;
  e.cropLeft = left, e.cropTop = top, e.cropRight = right, e.cropBottom = bottom;
}
void Colour(EditSettings& e) {
  e.effectsEnabled = 1;
  e.brightness = 20, e.contrast = 120, e.saturation = 80;
}
void Text(EditSettings& e) {
  e.textEnabled = 1;
  e.fontFace = "DejaVu Sans";
  e.watermarkText = "Mivora 42";
  e.textColor = 0x00FFFFFF;
  e.fontSize = 28, e.textAlpha = 255;
  e.textLeft = 40, e.textTop = 150;
}
// Text above and right of the crop band: the output holds it at the
// region's top-right corner.
void TextOutsideTheBand(EditSettings& e) {
  Text(e);
  e.textLeft = 250, e.textTop = 20;
  Crop(e, 20, 100, 200, 220);
}
void Picture(EditSettings& e, int left, int top) {
  e.pictureEnabled = 1;
  e.picturePath = Logo();
  e.pictureWidth = 60, e.pictureHeight = 40;
  e.pictureLeft = left, e.pictureTop = top;
}

std::vector<Combination> Combinations() {
  auto pattern = [] { return PatternClip(); };
  std::vector<Combination> all = {
      {"no edits", pattern, [](EditSettings&) {}},
      {"Hflip", pattern, [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1; }},
      {"Vflip", pattern, [](EditSettings& e) { e.effectsEnabled = e.flipVertical = 1; }},
      {"Hflip + crop left half", pattern,
       [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1, Crop(e, 0, 0, 160, 240); }},
      {"Vflip + crop top strip", pattern,
       [](EditSettings& e) { e.effectsEnabled = e.flipVertical = 1, Crop(e, 0, 0, 320, 120); }},
      {"both flips + crop", pattern,
       [](EditSettings& e) { e.effectsEnabled = e.flipVertical = e.flipHorizontal = 1, Crop(e, 40, 30, 200, 150); }},
      {"crop", pattern, [](EditSettings& e) { Crop(e, 100, 60, 260, 180); }},
      {"colour values", pattern, [](EditSettings& e) { Colour(e); }},
  };
  for (int effect = 1; effect < kEffectCount; ++effect)
    all.push_back({std::string(kEffectLabels[effect]) + " + colour values", pattern, [effect](EditSettings& e) {
                     Colour(e);
                     e.effect = effect;
                   }});
  all.push_back({"text", pattern, [](EditSettings& e) { Text(e); }});
  all.push_back({"text + crop", pattern, [](EditSettings& e) { Text(e), Crop(e, 20, 100, 180, 220); }});
  all.push_back({"text outside the crop band", pattern, [](EditSettings& e) { TextOutsideTheBand(e); }});
  all.push_back({"picture", pattern, [](EditSettings& e) { Picture(e, 200, 20); }});
  all.push_back({"picture + Hflip + crop", pattern, [](EditSettings& e) {
                   Picture(e, 60, 40), Crop(e, 0, 0, 160, 120);
                   e.effectsEnabled = e.flipHorizontal = 1;
                 }});
  for (int mode = 0; mode < kStereoModeCount; ++mode)
    all.push_back({std::string("3D ") + kStereoModeLabels[mode], pattern, [mode](EditSettings& e) {
                     e.stereoEnabled = 1;
                     e.stereoMode = mode, e.stereoDepth = 10;
                   }});
  all.push_back({"HDR (PQ) source", [] { return HdrClip(test::HdrTransfer::kPq); }, [](EditSettings&) {},
                 kPlayerToneMap});
  all.push_back({"HDR (HLG) source + Hflip + crop", [] { return HdrClip(test::HdrTransfer::kHlg); },
                 [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1, Crop(e, 0, 0, 160, 120); },
                 kPlayerToneMap});
  all.push_back({"turned phone clip + Hflip + crop", [] { return TurnedClip(); },
                 [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1, Crop(e, 0, 0, 120, 160); }, "",
                 QSize(240, 320)});
  all.push_back({"4K source + Vflip + crop", [] { return UhdClip(); },
                 [](EditSettings& e) { e.effectsEnabled = e.flipVertical = 1, Crop(e, 1920, 0, 3840, 1440); },
                 "scale=2228:1254", QSize(2228, 1254), QSize(3840, 2160)});
  all.push_back({"mirroring matrix + Hflip (player)", [] { return MirroredClip(); },
                 [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1; }, "", QSize(240, 320), QSize(), true});
  all.push_back({"TV-range black and white (player)", [] { return LevelsClip(); }, [](EditSettings&) {}, "",
                 QSize(kWidth, kHeight), QSize(), true, &BlackAndWhite});
  all.push_back({"HDR (PQ) source naming no colours (player)",
                 [] { return HdrClip(test::HdrTransfer::kPq, /*namesColours=*/false); }, [](EditSettings&) {}, "",
                 QSize(kWidth, kHeight), QSize(), true});
  // The output frame's shape: a box turned for a portrait picture, a
  // standard's frame with bars.
  auto none = [](EditSettings&) {};
  all.push_back({"portrait phone into DVD 4:3", [] { return PhoneClip(); }, none, "", QSize(1080, 1920), QSize(),
                 [] { return ShippedProfile("DVD VCD SVCD/DVD Video NTSC.xml"); }});
  all.push_back({"portrait phone into Smartphone 800x480", [] { return PhoneClip(); }, none, "", QSize(1080, 1920),
                 QSize(), [] { return ShippedProfile("Phones/Smartphone 800x480 (MP4).xml"); }});
  all.push_back({"4:3 into HD 720p (16:9)", [] { return StandardClip(); }, none, "", QSize(640, 480), QSize(),
                 [] { return ShippedProfile("HD Video/MP4 - H.264 HD 720p.xml"); }});
  all.push_back({"4:3 into DVD 16:9", [] { return StandardClip(); }, none, "", QSize(640, 480), QSize(),
                 [] { return ShippedProfile("DVD VCD SVCD/DVD Video NTSC.xml", "16:9"); }});
  all.push_back({"2.39:1 into DVD 16:9", [] { return ScopeClip(); }, none, "", QSize(956, 400), QSize(),
                 [] { return ShippedProfile("DVD VCD SVCD/DVD Video NTSC.xml", "16:9"); }});
  return all;
}

struct Measured {
  QImage pane;
  QImage output;
};

struct SourceFrame {
  YuvFrame frame;
  int colour = GLIMRA_YUV_FULL_RANGE;
};

// The source's frame at kAt as the real player hands it over, with the
// colour it tells.
SourceFrame FromPlayer(const std::string& source, QSize size) {
  test::PlayerHarness player(source);
  SourceFrame result{YuvFrame(size.width(), size.height())};
  const int wanted = FrameAt(source, kAt);
  int number = 0;
  while (std::optional<test::ReceivedFrame> frame = player.NextFrame(5000)) {
    if (number++ < wanted) continue;
    EXPECT_EQ(QSize(frame->width, frame->height), size) << source;
    if (frame->yuv.size() == result.frame.lumaBytes() + 2 * result.frame.chromaBytes())
      std::memcpy(result.frame.Y(), frame->yuv.data(), frame->yuv.size());
    result.colour = frame->colour;
    return result;
  }
  ADD_FAILURE() << "the player handed over no frame at " << kAt << " s of " << source;
  return result;
}

// The same through ffmpeg, as the player does; its colour by the colour rule
// (tone-mapped frames are BT.709).
SourceFrame FromFfmpeg(const Combination& c) {
  SourceFrame result{DecodeYuv(c.source(), kAt, c.playerFilters, c.handedOver.width(), c.handedOver.height())};
  const bool toneMapped = c.playerFilters.find("tonemap") != std::string::npos;
  result.colour = toneMapped ? GLIMRA_YUV_TV_BT709 : static_cast<int>(ScreenColourOfFile(c.source()));
  return result;
}

// The pane's picture of the output frame, and the file's frame scaled to
// the same place (its shape as shown, from the file's sample aspect).
Measured Measure(const Combination& c) {
  EditSettings edits = Neutral();
  c.edit(edits);
  SourceFrame source = c.fromPlayer ? FromPlayer(c.source(), c.handedOver) : FromFfmpeg(c);
  EditorFrameHandler handler;
  mivora::Profile profile;
  EXPECT_TRUE(profile.Load(c.profile()));
  handler.SetOutputFormat(FrameFormatOf(profile));
  YuvPlanes planes{source.frame.Y(), source.frame.U(), source.frame.V()};
  handler.Render(edits, planes, source.frame.width(), source.frame.height(), c.source_, QSize(kWidth, kHeight),
                 source.colour);
  const QRect frame = handler.FrameInPane();
  return {handler.Picture().copy(frame), DecodeRgb(Convert(c.source(), edits, c.profile()), kAt, frame.size())};
}

TEST(PaneOutput, ThePaneShowsWhatTheFileHolds) {
  std::string table = "| edits | RGB PSNR (dB) |\n|---|---|\n";
  const char* only = std::getenv("PANE_OUTPUT_ONLY");  // a part of the names to run
  for (const Combination& c : Combinations()) {
    if (only && c.name.find(only) == std::string::npos) continue;
    Measured m = Measure(c);
    ASSERT_EQ(m.pane.size(), m.output.size()) << c.name;
    double psnr = Psnr(ColoursOf(m.pane), ColoursOf(m.output));
    if (c.check) c.check(m.pane, m.output);
    char row[160];
    std::snprintf(row, sizeof row, "| %s | %.1f |\n", c.name.c_str(), psnr);
    table += row;
    EXPECT_GE(psnr, kThresholdDb) << c.name;
    // PANE_OUTPUT_DUMP=FOLDER keeps both pictures of each combination to look at.
    if (const char* dump = std::getenv("PANE_OUTPUT_DUMP")) {
      m.pane.save(QString("%1/%2-pane.png").arg(dump).arg(QString::fromStdString(c.name)));
      m.output.save(QString("%1/%2-file.png").arg(dump).arg(QString::fromStdString(c.name)));
    }
  }
  std::printf("\n%s\n", table.c_str());
}

// Pixels where some colour differs by more than 60 between two pictures.
int Differing(const QImage& a, const QImage& b) {
  int count = 0;
  for (int y = 0; y < std::min(a.height(), b.height()); ++y)
    for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      count += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                         std::abs(qBlue(p) - qBlue(q))}) > 60;
    }
  return count;
}

// Text placed outside the crop band is moved back inside the kept region, in
// the pane and in the file alike: both show it (against the same edits
// without text), at the same place.
TEST(PaneOutput, TextOutsideTheCropBandIsInPaneAndFile) {
  const struct {
    const char* name;
    std::function<void(EditSettings&)> edit;
  } rows[] = {
      {"above and right", [](EditSettings& e) { TextOutsideTheBand(e); }},
      {"below and left",
       [](EditSettings& e) { Text(e), e.textLeft = 0, e.textTop = 200, Crop(e, 120, 20, 300, 150); }},
  };
  for (const auto& row : rows) {
    auto withoutText = [&row](EditSettings& e) { row.edit(e), e.textEnabled = 0; };
    Measured text = Measure({row.name, [] { return PatternClip(); }, row.edit});
    Measured plain = Measure({row.name, [] { return PatternClip(); }, withoutText});
    EXPECT_GT(Differing(text.pane, plain.pane), 200) << row.name << ": no text in the pane";
    EXPECT_GT(Differing(text.output, plain.output), 200) << row.name << ": no text in the file";
    EXPECT_GE(Psnr(ColoursOf(text.pane), ColoursOf(text.output)), kThresholdDb) << row.name;
  }
}

// The measure tells a mirrored picture from the right one: the pane of a flip
// with a crop against the file's frame mirrored back scores below the bar.
TEST(PaneOutput, AMirroredRegionFailsTheMeasure) {
  Combination flipCrop{"Hflip + crop left half", [] { return PatternClip(); },
                       [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1, Crop(e, 0, 0, 160, 240); }};
  Measured m = Measure(flipCrop);
  EXPECT_GE(Psnr(ColoursOf(m.pane), ColoursOf(m.output)), kThresholdDb);
  EXPECT_LT(Psnr(ColoursOf(m.pane), ColoursOf(m.output, /*mirrored=*/true)), kThresholdDb);
}

}  // namespace
}  // namespace mivora
