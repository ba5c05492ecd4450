#include "tools/trancor/SourceFacts.h"

#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
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

}  // namespace

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
      const AVPixFmtDescriptor* pixels = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video->format));
      if (pixels) facts.bitsPerSample = pixels->comp[0].depth;
    }
  }
  avformat_close_input(&format);
  return facts;
}

}  // namespace mivora::trancor
