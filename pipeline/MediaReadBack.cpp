// Reading an output back as media, in this process through libavformat:
// starting the engine a second time only to probe what it just wrote costs a
// whole engine start-up per job. The library (and the hundred libraries it
// needs) is loaded on first use, not when the program starts, so that
// commands and windows that never convert do not pay for it; a batch loads it
// while its first job converts.

#include <algorithm>
#include <string>

#include "common/Log.h"
#include "pipeline/AvLibraries.h"
#include "pipeline/OutputFiles.h"
#include "pipeline/SafeOpen.h"

namespace mivora {

void PreloadMediaReadBack() { AvLibraries(); }

namespace {

// The output's length: the container's, else its longest stream's; -1 when
// neither is known.
double LengthSeconds(const AVFormatContext& context) {
  if (context.duration != AV_NOPTS_VALUE && context.duration > 0)
    return static_cast<double>(context.duration) / AV_TIME_BASE;
  double longest = -1;
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    const AVStream& stream = *context.streams[i];
    if (stream.duration == AV_NOPTS_VALUE || stream.duration <= 0 || stream.time_base.den == 0) continue;
    longest = std::max(longest, static_cast<double>(stream.duration) * stream.time_base.num / stream.time_base.den);
  }
  return longest;
}

// True when the header alone names every stream's codec and shape and the
// file's length. Then the streams need not be decoded: a 4K H.264 output
// would otherwise have seven frames decoded on one core (about 150 ms a job)
// only to guess a decoding delay nobody here asks for.
bool HeaderDescribesEveryStream(const AVFormatContext& context) {
  if (context.nb_streams == 0 || context.duration == AV_NOPTS_VALUE || context.duration <= 0) return false;
  for (unsigned i = 0; i < context.nb_streams; ++i) {
    const AVCodecParameters& stream = *context.streams[i]->codecpar;
    if (stream.codec_id == AV_CODEC_ID_NONE) return false;
    if (stream.codec_type == AVMEDIA_TYPE_VIDEO && (stream.width <= 0 || stream.height <= 0)) return false;
    if (stream.codec_type == AVMEDIA_TYPE_AUDIO && (stream.sample_rate <= 0 || stream.ch_layout.nb_channels <= 0))
      return false;
  }
  return true;
}

// The first packet of the data, read: a header whose data is missing is not media.
int ReadOnePacket(const AvLibrary& av, AVFormatContext* context) {
  AVPacket* packet = av.allocPacket();
  if (!packet) return AVERROR(ENOMEM);
  int rc = av.readFrame(context, packet);
  av.freePacket(&packet);
  return rc;
}

}  // namespace

bool IsReadableMedia(const std::string& path, std::string* why, double* lengthSeconds) {
  if (lengthSeconds) *lengthSeconds = -1;
  const AvLibrary& av = AvLibraries();
  if (!av.loaded) {
    MLOG("IsReadableMedia, %s", av.error.c_str());
    if (why) *why = "The output file cannot be read back: " + av.error + ".";
    return false;
  }
  // Every file the output leads to is opened as the probe opens a source's:
  // an output replaced by a pipe, or naming one, must not hang the batch.
  AVFormatContext* context = av.allocContext();
  int rc = context ? 0 : AVERROR(ENOMEM);
  if (context && !UseSafeOpen(context)) {
    av.closeInput(&context);
    rc = AVERROR(ENOSYS);
  }
  // "file:" so that no name is taken for another protocol.
  if (rc >= 0) rc = av.openInput(&context, ("file:" + path).c_str(), nullptr, nullptr);  // frees it on failure
  if (rc >= 0) {
    rc = HeaderDescribesEveryStream(*context) ? ReadOnePacket(av, context) : av.findStreamInfo(context, nullptr);
    if (rc >= 0 && context->nb_streams == 0) rc = AVERROR_INVALIDDATA;
    if (rc >= 0 && lengthSeconds) *lengthSeconds = LengthSeconds(*context);
    av.closeInput(&context);
  }
  if (rc >= 0) return true;
  MLOG("IsReadableMedia, %s: %s", path.c_str(), av.ErrorText(rc).c_str());
  if (why) *why = "The output file cannot be read back as media.";
  return false;
}

}  // namespace mivora
