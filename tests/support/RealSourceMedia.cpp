#include "tests/support/RealSourceMedia.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/Mp4Rotation.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

namespace mivora::test {
namespace {

void Ffmpeg(std::vector<std::string> args) {
  std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-v", "error", "-nostdin", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  CommandResult r = RunCommand(argv);
  if (r.exitCode != 0) ADD_FAILURE() << "ffmpeg failed: " << r.output;
}

std::string Seconds(double s) {
  std::ostringstream text;
  text << s;
  return text.str();
}

// The values of `key=` lines in a text ffmpeg's metadata filters printed,
// each with the pts_time of the frame line before it.
std::vector<std::pair<double, std::string>> MetadataValues(const std::string& text, const std::string& key) {
  std::vector<std::pair<double, std::string>> values;
  std::istringstream lines(text);
  std::string line;
  double time = 0;
  while (std::getline(lines, line)) {
    size_t at = line.find("pts_time:");
    if (at != std::string::npos) time = std::atof(line.c_str() + at + 9);
    if (line.rfind(key + "=", 0) == 0) values.emplace_back(time, line.substr(key.size() + 1));
  }
  return values;
}

// Times where `level` crosses above `threshold` from below.
std::vector<double> Rises(const std::vector<std::pair<double, std::string>>& values, double threshold) {
  std::vector<double> rises;
  bool above = false;
  for (const auto& [time, text] : values) {
    double level = text == "-inf" ? -1000 : std::atof(text.c_str());
    if (level > threshold && !above) rises.push_back(time);
    above = level > threshold;
  }
  return rises;
}

}  // namespace

void GenerateHdrClip(const std::string& path, HdrTransfer transfer, double seconds, bool namesColours) {
  std::vector<std::string> args = {
      "-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25,format=yuv420p10le", "-f", "lavfi", "-i",
      "sine=frequency=440:sample_rate=44100", "-t", Seconds(seconds), "-c:v", "libx264", "-profile:v",
      "high10", "-pix_fmt", "yuv420p10le", "-color_trc",
      transfer == HdrTransfer::kPq ? "smpte2084" : "arib-std-b67", "-color_range", "tv"};
  if (namesColours)
    args.insert(args.end(), {"-color_primaries", "bt2020", "-colorspace", "bt2020nc"});
  args.insert(args.end(), {"-c:a", "aac", "file:" + path});
  Ffmpeg(args);
}

void GenerateMasteredHdrClip(const std::string& path, HdrTransfer transfer, double seconds) {
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25,format=yuv420p10le", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=48000", "-t", Seconds(seconds), "-c:v", "libx265", "-preset",
          "ultrafast", "-pix_fmt", "yuv420p10le", "-color_primaries", "bt2020", "-colorspace", "bt2020nc",
          "-color_trc", transfer == HdrTransfer::kPq ? "smpte2084" : "arib-std-b67", "-x265-params",
          std::string("log-level=error:") + kMastering.x265Parameters, "-c:a", "aac", "file:" + path});
}

void GenerateCameraClip(const std::string& path, int width, int height, double seconds) {
  std::string size = std::to_string(width) + "x" + std::to_string(height);
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25,noise=alls=2:allf=t,format=yuv420p", "-f",
          "lavfi", "-i", "sine=frequency=440:sample_rate=48000", "-t", Seconds(seconds), "-c:v", "libx264",
          "-preset", "ultrafast", "-qp", "4", "-c:a", "aac", "file:" + path});
}

void GenerateTwoAudioTrackClip(const std::string& path, double seconds) {
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
          "anullsrc=r=44100:cl=stereo", "-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100",
          "-map", "0", "-map", "1", "-map", "2", "-t", Seconds(seconds), "-c:v", "libx264", "-pix_fmt",
          "yuv420p", "-c:a", "aac", "-disposition:a:0", "0", "-disposition:a:1", "default", "file:" + path});
}

void GenerateMotionPhotoLikeClip(const std::string& path, bool stillFirst) {
  Ffmpeg({"-f", "lavfi", "-i", "color=0x3050a0:size=1024x768:rate=1:duration=1", "-f", "lavfi", "-i",
          "testsrc2=size=320x240:rate=30:duration=2", "-map", stillFirst ? "0" : "1", "-map", stillFirst ? "1" : "0",
          "-c:v", "libx264", "-pix_fmt", "yuv420p", "-disposition:v:0", "default", "-disposition:v:1", "default",
          "file:" + path});
}

void GenerateCutOffClip(const std::string& path, double keptShare) {
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=44100", "-t", "10", "-c:v", "libx264", "-pix_fmt", "yuv420p",
          "-c:a", "aac", "-movflags", "+faststart", "file:" + path});
  std::string whole = ReadFile(path);
  WriteFile(path, whole.substr(0, static_cast<size_t>(static_cast<double>(whole.size()) * keptShare)));
}

void GenerateVariableRateClip(const std::string& path, double seconds) {
  // Frames at 0, 20, 70, 90, 140 ... ms; the flashes and beeps last 100 ms.
  std::string flashes, beeps;
  for (double t : kFlashTimes) {
    std::string window = "between(t," + Seconds(t) + "," + Seconds(t + 0.1) + ")";
    flashes += (flashes.empty() ? "" : "+") + window;
    beeps += (beeps.empty() ? "" : "+") + window;
  }
  Ffmpeg({"-f", "lavfi", "-i", "color=0x404040:size=320x240:rate=100",
          "-f", "lavfi", "-i", "aevalsrc='(" + beeps + ")*0.9*sin(2*PI*1000*t)':s=48000",
          "-filter_complex",
          "[0:v]select='eq(mod(n\\,7)\\,0)+eq(mod(n\\,7)\\,2)',"
          "drawbox=c=white:t=fill:enable='" + flashes + "',format=yuv420p[v]",
          "-map", "[v]", "-map", "1:a", "-t", Seconds(seconds), "-fps_mode", "vfr", "-c:v", "libx264",
          "-c:a", "aac", "file:" + path});
}

void GenerateSubtitledClip(const std::string& path, double seconds) {
  std::string srt = MakeTempDir("subtitles") + "/s.srt";
  WriteFile(srt, "1\n00:00:00,000 --> 00:00:00,800\nHello, world\n\n");
  bool mkv = path.size() > 4 && path.compare(path.size() - 4, 4, ".mkv") == 0;
  Ffmpeg({"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i",
          "sine=frequency=440:sample_rate=44100", "-i", "file:" + srt, "-map", "0", "-map", "1", "-map",
          "2", "-t", Seconds(seconds), "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-c:s",
          mkv ? "srt" : "mov_text", "file:" + path});
}

std::vector<double> FlashTimes(const std::string& path) {
  std::string log = MakeTempDir("flashes") + "/luma.txt";
  Ffmpeg({"-i", "file:" + path, "-vf",
          "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=" + log, "-f", "null", "-"});
  return Rises(MetadataValues(ReadFile(log), "lavfi.signalstats.YAVG"), 180);
}

std::vector<double> BeepTimes(const std::string& path) {
  std::string log = MakeTempDir("beeps") + "/peaks.txt";
  Ffmpeg({"-i", "file:" + path, "-vn", "-af",
          "aresample=48000,asetnsamples=n=480,astats=metadata=1:reset=1,"
          "ametadata=print:key=lavfi.astats.Overall.Peak_level:file=" + log,
          "-f", "null", "-"});
  return Rises(MetadataValues(ReadFile(log), "lavfi.astats.Overall.Peak_level"), -20);
}

double MeanVolumeDb(const std::string& path) {
  CommandResult r = RunCommand({"ffmpeg", "-hide_banner", "-nostdin", "-i", "file:" + path, "-vn",
                                "-af", "volumedetect", "-f", "null", "-"});
  size_t at = r.output.find("mean_volume:");
  return at == std::string::npos ? -100 : std::atof(r.output.c_str() + at + 12);
}

std::string VideoStreamField(const std::string& path, const std::string& field) {
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "stream=" + field, "-of", "default=noprint_wrappers=1:nokey=1",
                                "file:" + path});
  std::string value = r.output;
  while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
  return r.exitCode == 0 ? value : "";
}

std::vector<std::string> StreamTypes(const std::string& path) {
  CommandResult r = RunCommand({"ffprobe", "-v", "error", "-show_entries", "stream=codec_type", "-of",
                                "default=noprint_wrappers=1:nokey=1", "file:" + path});
  std::vector<std::string> types;
  std::istringstream lines(r.output);
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) types.push_back(line);
  return types;
}

double MeanLumaAt(const std::string& path, double seconds, const std::string& filters) {
  std::string out = MakeTempDir("luma") + "/frame.yuv";
  std::string chain = filters.empty() ? "format=yuv420p" : filters + ",format=yuv420p";
  Ffmpeg({"-ss", Seconds(seconds), "-i", "file:" + path, "-vf", chain, "-frames:v", "1", "-f", "rawvideo",
          "file:" + out});
  std::string data = ReadFile(out);
  int width = std::atoi(VideoStreamField(path, "width").c_str());
  int height = std::atoi(VideoStreamField(path, "height").c_str());
  size_t luma = static_cast<size_t>(width) * height;
  if (luma == 0 || data.size() < luma) return -1;
  double sum = 0;
  for (size_t i = 0; i < luma; ++i) sum += static_cast<unsigned char>(data[i]);
  return sum / luma;
}

void GenerateShapedClip(const std::string& path, const ShapedClip& shape) {
  const std::string size = std::to_string(shape.width) + "x" + std::to_string(shape.height);
  const std::string sar = shape.sarNum > 0 ? std::to_string(shape.sarNum) + "/" + std::to_string(shape.sarDen) : "0";
  Ffmpeg({"-f", "lavfi", "-i",
          "nullsrc=size=" + size + ":rate=10,geq=lum='110+40*sin(X/23)*sin(Y/19)+50*X/W':"
          "cb='128+50*(X/W-0.5)':cr='128+50*(Y/H-0.5)',format=yuv420p,setsar=" + sar,
          "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100", "-t", Seconds(shape.seconds), "-c:v",
          "libx264", "-preset", "veryfast", "-crf", "14", "-c:a", "aac", "file:" + path});
  if (shape.degrees == 0) return;
  std::string error;
  if (!SetMp4Rotation(path, shape.degrees, &error)) ADD_FAILURE() << error;
}

}  // namespace mivora::test
