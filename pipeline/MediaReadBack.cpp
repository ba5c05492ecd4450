// Reading an output back as media, in this process through libavformat:
// starting the engine a second time only to probe what it just wrote costs a
// whole engine start-up per job.

#include <mutex>

#include "common/Log.h"
#include "pipeline/OutputFiles.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace mivora {
namespace {

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace

bool IsReadableMedia(const std::string& path, std::string* why) {
  // libavformat's own messages would go to the terminal; the reason is ours to give.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

  AVFormatContext* context = nullptr;
  // "file:" so that no name is taken for another protocol.
  int rc = avformat_open_input(&context, ("file:" + path).c_str(), nullptr, nullptr);
  if (rc >= 0) {
    rc = avformat_find_stream_info(context, nullptr);
    if (rc >= 0 && context->nb_streams == 0) rc = AVERROR_INVALIDDATA;
    avformat_close_input(&context);
  }
  if (rc >= 0) return true;
  MLOG("IsReadableMedia, %s: %s", path.c_str(), ErrorText(rc).c_str());
  if (why) *why = "The output file cannot be read back as media.";
  return false;
}

}  // namespace mivora
