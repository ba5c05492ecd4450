#include "pipeline/AvLibraries.h"

#include <dlfcn.h>

#include <cstdarg>
#include <vector>

extern "C" {
#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
}

namespace mivora {
namespace {

// Looks up one entry point; false when the library lacks it.
template <typename Function>
bool Find(void* library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(::dlsym(library, name));
  return *function != nullptr;
}

thread_local AvLogCapture* tCapture = nullptr;

// The engine prints control characters other than the line breaks and tabs
// as '?' (so does this).
void Sanitize(std::string* text) {
  for (char& c : *text) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (code < 0x08 || (code > 0x0D && code < 0x20)) c = '?';
  }
}

void RouteLog(void* context, int level, const char* format, va_list args) {
  AvLogCapture* capture = tCapture;
  if (!capture || level > AV_LOG_INFO) return;
  const AvLibrary& av = AvLibraries();
  char line[1024];
  int prefix = capture->printPrefix;
  va_list copy;
  va_copy(copy, args);
  const int length = av.formatLogLine(context, level, format, copy, line, sizeof line, &prefix);
  va_end(copy);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof line) {
    capture->Keep(line);
  } else {
    std::vector<char> longer(static_cast<size_t>(length) + 1);
    prefix = capture->printPrefix;
    av.formatLogLine(context, level, format, args, longer.data(), static_cast<int>(longer.size()), &prefix);
    capture->Keep(longer.data());
  }
  capture->printPrefix = prefix;
}

bool FindFormatEntries(void* format, AvLibrary* av) {
  return Find(format, "avformat_alloc_context", &av->allocContext) &&
         Find(format, "avformat_open_input", &av->openInput) &&
         Find(format, "avformat_find_stream_info", &av->findStreamInfo) &&
         Find(format, "avformat_close_input", &av->closeInput) && Find(format, "av_dump_format", &av->dumpFormat) &&
         Find(format, "avio_open2", &av->openIo) && Find(format, "av_read_frame", &av->readFrame) &&
         Find(format, "av_guess_sample_aspect_ratio", &av->guessSampleAspect) &&
         Find(format, "av_stream_get_side_data", &av->streamSideData);
}

bool FindCodecEntries(void* codec, AvLibrary* av) {
  return Find(codec, "avcodec_find_decoder", &av->findDecoder) &&
         Find(codec, "avcodec_alloc_context3", &av->allocDecoder) &&
         Find(codec, "avcodec_parameters_to_context", &av->copyParameters) &&
         Find(codec, "avcodec_open2", &av->openDecoder) && Find(codec, "avcodec_send_packet", &av->sendPacket) &&
         Find(codec, "avcodec_receive_frame", &av->receiveFrame) &&
         Find(codec, "avcodec_free_context", &av->freeDecoder) && Find(codec, "av_packet_alloc", &av->allocPacket) &&
         Find(codec, "av_packet_unref", &av->unrefPacket) && Find(codec, "av_packet_free", &av->freePacket);
}

bool FindUtilEntries(void* util, AvLibrary* av) {
  return Find(util, "av_dict_set", &av->dictSet) && Find(util, "av_dict_free", &av->dictFree) &&
         Find(util, "av_strerror", &av->errorText) &&
         Find(util, "av_channel_layout_default", &av->defaultLayout) &&
         Find(util, "av_log_set_callback", &av->setLogCallback) &&
         Find(util, "av_log_format_line2", &av->formatLogLine) &&
         Find(util, "av_pix_fmt_desc_get", &av->describePixelFormat) &&
         Find(util, "av_display_rotation_get", &av->displayRotation) &&
         Find(util, "av_frame_alloc", &av->allocFrame) && Find(util, "av_frame_free", &av->freeFrame) &&
         Find(util, "av_frame_get_side_data", &av->frameSideData);
}

AvLibrary Load() {
  AvLibrary av;
  const std::string names[] = {"libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR),
                               "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR),
                               "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR)};
  void* libraries[3] = {};
  for (int i = 0; i < 3; ++i) {
    libraries[i] = ::dlopen(names[i].c_str(), RTLD_NOW | RTLD_LOCAL);
    if (libraries[i]) continue;
    const char* why = ::dlerror();
    av.error = why ? why : "cannot load " + names[i];
    return av;
  }
  av.loaded = FindFormatEntries(libraries[0], &av) && FindCodecEntries(libraries[1], &av) &&
              FindUtilEntries(libraries[2], &av);
  if (!av.loaded) {
    av.error = "an entry point is missing in " + names[0] + ", " + names[1] + " or " + names[2];
    return av;
  }
  av.setLogCallback(&RouteLog);
  return av;
}

}  // namespace

std::string AvLibrary::ErrorText(int code) const {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  errorText(code, text, sizeof text);
  return text;
}

const AvLibrary& AvLibraries() {
  static const AvLibrary library = Load();
  return library;
}

AvLogCapture::AvLogCapture() : previous_(tCapture) { tCapture = this; }
AvLogCapture::~AvLogCapture() { tCapture = previous_; }

void AvLogCapture::Keep(const char* line) {
  std::string kept(line);
  Sanitize(&kept);
  text_ += kept;
}

}  // namespace mivora
