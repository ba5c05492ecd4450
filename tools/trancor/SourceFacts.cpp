#include "tools/trancor/SourceFacts.h"

#include <sys/stat.h>

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include "tools/colour/ColourRule.h"

namespace mivora::trancor {

namespace {

int AskStopped(void* opaque) {
  auto stopped = reinterpret_cast<bool (*)()>(opaque);
  return stopped && stopped() ? 1 : 0;
}

// The display matrix's turn, clockwise, to the nearest quarter.
int ClockwiseRotation(const AVStream* stream) {
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (std::isnan(counterClockwise)) return 0;
  const long quarters = std::lround(-counterClockwise / 90.0) % 4;
  return static_cast<int>((quarters + 4) % 4) * 90;
}

}  // namespace

PictureShape DisplayedPicture(const SourceFacts& facts) {
  PictureShape shape{facts.width, facts.height, facts.sampleAspectNum, facts.sampleAspectDen};
  if (shape.sampleAspectNum <= 0 || shape.sampleAspectDen <= 0) shape.sampleAspectNum = shape.sampleAspectDen = 1;
  if (facts.rotation == 90 || facts.rotation == 270) {
    std::swap(shape.width, shape.height);
    std::swap(shape.sampleAspectNum, shape.sampleAspectDen);
  }
  return shape;
}

SourceFacts ReadSourceFacts(const std::string& path, bool (*stopped)()) {
  SourceFacts facts;
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return facts;
  // ffmpeg reports the file's problems itself; the probe stays silent.
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* format = avformat_alloc_context();
  if (!format) return facts;
  format->interrupt_callback.callback = &AskStopped;
  format->interrupt_callback.opaque = reinterpret_cast<void*>(stopped);
  // "file:" keeps a name with a colon from being read as a protocol.
  if (avformat_open_input(&format, ("file:" + path).c_str(), nullptr, nullptr) != 0) return facts;
  if (avformat_find_stream_info(format, nullptr) >= 0) {
    facts.tracks = ChooseTracks(TracksOf(*format));
    facts.tracksKnown = true;
    int index = facts.tracks.video.stream;
    if (index >= 0) {
      const AVCodecParameters* video = format->streams[index]->codecpar;
      facts.readable = true;
      if (colour::IsHdrTransfer(video->color_trc))
        facts.transfer = video->color_trc == AVCOL_TRC_SMPTE2084 ? Transfer::kPq : Transfer::kHlg;
      else
        facts.transfer = video->color_trc == AVCOL_TRC_UNSPECIFIED ? Transfer::kUnknown : Transfer::kStandard;
      facts.primariesUnknown = colour::NamesNothing(video->color_primaries);
      facts.matrixUnknown = colour::NamesNothing(video->color_space);
      facts.width = video->width;
      facts.height = video->height;
      // As ffmpeg takes it: the container's, else the stream's.
      const AVRational aspect = av_guess_sample_aspect_ratio(format, format->streams[index], nullptr);
      facts.sampleAspectNum = aspect.num;
      facts.sampleAspectDen = aspect.den;
      facts.rotation = ClockwiseRotation(format->streams[index]);
      const AVPixFmtDescriptor* pixels = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video->format));
      if (pixels) facts.bitsPerSample = pixels->comp[0].depth;
    }
  }
  avformat_close_input(&format);
  return facts;
}

}  // namespace mivora::trancor
