// The right pane shows what the file will hold: for each combination of
// edits, the pane (EditorFrameHandler on the source frame as the player hands
// it over) is compared with the converted file's frame at the same moment,
// by the PSNR of their luma. The table of results is printed.

#include <gtest/gtest.h>

#include <QImage>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

#include "app/editor/EditorFrameHandler.h"
#include "common/Folders.h"
#include "preview/Glimra.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "tests/support/Mp4Rotation.h"
#include "tests/support/RealSourceMedia.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora {
namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr double kAt = 0.5;          // seconds into the clip
constexpr double kThresholdDb = 30;  // a mirrored or shifted region scores far below

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";

// MPEG-4 Part 2 at 320x240 and a high bit rate: close to lossless.
const std::string& Profile() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("profile") + "/Pane.xml";
    test::WriteFile(p,
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Profile>\n"
                    "    <ProfileName value=\"Pane\"/>\n"
                    "    <FormatExt value=\"avi\"/>\n"
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
const std::string& PatternClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("pattern") + "/pattern.mkv";
    auto r = test::RunCommand(
        {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
         "nullsrc=size=320x240:rate=25,geq=lum='20+X*0.55+Y*0.2+25*sin(X/13)*sin(Y/11)':"
         "cb='128+(X-160)/4':cr='128+(Y-120)/3',drawbox=x=30:y=40:w=40:h=30:color=white:t=fill,"
         "format=yuv420p",
         "-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo", "-t", "1", "-c:v", "libx264", "-qp", "0",
         "-c:a", "mp2", "file:" + p});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return p;
  }();
  return path;
}

const std::string& HdrClip(test::HdrTransfer transfer) {
  static const std::string pq = [] {
    std::string p = test::MakeTempDir("hdr") + "/pq.mp4";
    test::GenerateHdrClip(p, test::HdrTransfer::kPq);
    return p;
  }();
  static const std::string hlg = [] {
    std::string p = test::MakeTempDir("hdr") + "/hlg.mp4";
    test::GenerateHdrClip(p, test::HdrTransfer::kHlg);
    return p;
  }();
  return transfer == test::HdrTransfer::kPq ? pq : hlg;
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

// The player converts HDR sources to SDR with this chain before it hands
// frames over, like the engine does to the output.
const char* const kPlayerToneMap =
    "zscale=t=linear:npl=100,format=gbrpf32le,zscale=p=bt709,tonemap=tonemap=hable:desat=0,"
    "zscale=t=bt709:m=bt709:r=tv";

// One 8-bit 4:2:0 frame of `path` at `seconds`, decoded as the player does
// (turned as the track says, through `filters`), of `width` x `height`.
YuvFrame DecodeYuv(const std::string& path, double seconds, const std::string& filters = "",
                   int width = kWidth, int height = kHeight) {
  std::string out = test::MakeTempDir("frame") + "/frame.yuv";
  std::string chain = filters.empty() ? "format=yuv420p" : filters + ",format=yuv420p";
  auto r = test::RunCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-ss", std::to_string(seconds), "-i",
                             "file:" + path, "-vf", chain, "-frames:v", "1", "-f", "rawvideo",
                             "file:" + out});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string data = test::ReadFile(out);
  YuvFrame frame(width, height);
  const size_t bytes = frame.lumaBytes() + 2 * frame.chromaBytes();
  EXPECT_EQ(data.size(), bytes) << path;
  if (data.size() == bytes) std::memcpy(frame.Y(), data.data(), bytes);
  return frame;
}

// Copies DrawYuv420's bottom-up BGR rows into a top-down image.
void PaintInto(void* user, const GlimraBitmapInfo* info, const uint8_t* bits) {
  auto* image = static_cast<QImage*>(user);
  for (int row = 0; row < info->height; ++row)
    std::memcpy(image->scanLine(row), bits + static_cast<size_t>(info->height - 1 - row) * info->stride,
                static_cast<size_t>(info->width) * 3);
}

// The file's frame drawn as the pane draws its frames, so that both pass
// through the same YUV to RGB conversion.
QImage AsPaneDraws(const YuvFrame& frame) {
  QImage image(frame.width(), frame.height(), QImage::Format_BGR888);
  GlimraDrawTarget target{&PaintInto, &image};
  DrawYuv420(frame.Y(), frame.U(), frame.V(), frame.width(), frame.height(), &target);
  return image;
}

// Luma of an RGB picture, 0.299 R + 0.587 G + 0.114 B; `mirrored` reads each
// row from right to left.
std::vector<double> LumaOf(const QImage& image, bool mirrored = false) {
  std::vector<double> luma;
  luma.reserve(static_cast<size_t>(image.width()) * image.height());
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      QRgb p = image.pixel(mirrored ? image.width() - 1 - x : x, y);
      luma.push_back(0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p));
    }
  return luma;
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
  std::function<std::string()> profile = [] { return Profile(); };
};

// A portrait phone clip: 320x240 coded, the track turned by 90 degrees, so
// it shows 240x320.
const std::string& TurnedClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("turned") + "/portrait.mp4";
    test::ClipSpec shape;
    shape.seconds = 1;
    test::GenerateRotatedClip(p, shape, 90);
    return p;
  }();
  return path;
}

// A 4K clip (few frames, to stay quick) of colour bars; the player hands its frames over
// scaled down to 2228x1254.
const std::string& UhdClip() {
  static const std::string path = [] {
    std::string p = test::MakeTempDir("uhd") + "/uhd.mp4";
    test::ClipSpec shape;
    shape.seconds = 1;
    shape.width = 3840, shape.height = 2160, shape.frameRate = 5;
    // Broad bars: the pane sees the frame reduced, so fine checkers would
    // alias differently from the file's own scaling.
    shape.videoSource = "smptehdbars";
    test::GenerateClip(p, shape);
    return p;
  }();
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

// The pane's picture of the output frame, and the file's frame scaled to
// the same place (its shape as shown, from the file's sample aspect).
Measured Measure(const Combination& c) {
  EditSettings edits = Neutral();
  c.edit(edits);
  YuvFrame source =
      DecodeYuv(c.source(), kAt, c.playerFilters, c.handedOver.width(), c.handedOver.height());
  EditorFrameHandler handler;
  mivora::Profile profile;
  EXPECT_TRUE(profile.Load(c.profile()));
  handler.SetOutputFormat(FrameFormatOf(profile));
  YuvPlanes planes{source.Y(), source.U(), source.V()};
  handler.Render(edits, planes, source.width(), source.height(), c.source_, QSize(kWidth, kHeight));
  const QRect frame = handler.FrameInPane();
  const std::string scale = "scale=" + std::to_string(frame.width()) + ":" + std::to_string(frame.height());
  return {handler.Picture().copy(frame),
          AsPaneDraws(DecodeYuv(Convert(c.source(), edits, c.profile()), kAt, scale, frame.width(), frame.height()))};
}

TEST(PaneOutput, ThePaneShowsWhatTheFileHolds) {
  std::string table = "| edits | luma PSNR (dB) |\n|---|---|\n";
  const char* only = std::getenv("PANE_OUTPUT_ONLY");  // a part of the names to run
  for (const Combination& c : Combinations()) {
    if (only && c.name.find(only) == std::string::npos) continue;
    Measured m = Measure(c);
    ASSERT_EQ(m.pane.size(), m.output.size()) << c.name;
    double psnr = Psnr(LumaOf(m.pane), LumaOf(m.output));
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

// The measure tells a mirrored picture from the right one: the pane of a flip
// with a crop against the file's frame mirrored back scores below the bar.
TEST(PaneOutput, AMirroredRegionFailsTheMeasure) {
  Combination flipCrop{"Hflip + crop left half", [] { return PatternClip(); },
                       [](EditSettings& e) { e.effectsEnabled = e.flipHorizontal = 1, Crop(e, 0, 0, 160, 240); }};
  Measured m = Measure(flipCrop);
  EXPECT_GE(Psnr(LumaOf(m.pane), LumaOf(m.output)), kThresholdDb);
  EXPECT_LT(Psnr(LumaOf(m.pane), LumaOf(m.output, /*mirrored=*/true)), kThresholdDb);
}

}  // namespace
}  // namespace mivora
