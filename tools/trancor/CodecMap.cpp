#include "tools/trancor/CodecMap.h"

#include <array>

namespace mivora::trancor {
namespace {

struct CodecRow {
  std::string_view engineName;
  std::string_view encoder;  // empty: no encoder for it here
  std::string_view reason;
};

// Every engine codec name the argument builder can write.
constexpr std::array kCodecs = {
    CodecRow{"libx264", "libx264", ""},
    CodecRow{"cudax264", "h264_nvenc", ""},  // the GPU H.264 encoder
    CodecRow{"mpeg2video", "mpeg2video", ""},
    CodecRow{"msvideo1", "msvideo1", ""},
    CodecRow{"libxvid", "libxvid", ""},
    CodecRow{"mpeg4", "mpeg4", ""},
    CodecRow{"mpeg1video", "mpeg1video", ""},
    CodecRow{"wmv2", "wmv2", ""},
    CodecRow{"wmv1", "wmv1", ""},
    CodecRow{"h263p", "h263p", ""},
    CodecRow{"h261", "h261", ""},
    CodecRow{"msmpeg4", "msmpeg4", ""},
    CodecRow{"msmpeg4v2", "msmpeg4v2", ""},
    CodecRow{"msmpeg4v1", "", "ffmpeg has no MS-MPEG4 version 1 encoder"},
    CodecRow{"mjpeg", "mjpeg", ""},
    CodecRow{"flv", "flv", ""},
    CodecRow{"rv10", "rv10", ""},
    CodecRow{"rv20", "rv20", ""},
    CodecRow{"dvvideo", "dvvideo", ""},
    CodecRow{"libtheora", "libtheora", ""},
    CodecRow{"libgsm", "libgsm", ""},
    CodecRow{"vorbis", "libvorbis", ""},  // ffmpeg's own Vorbis encoder is experimental
    CodecRow{"libmp3lame", "libmp3lame", ""},
    CodecRow{"mp2", "mp2", ""},
    CodecRow{"ac3", "ac3", ""},
    CodecRow{"dca", "dca", ""},
    CodecRow{"libfaac", "aac", ""},  // ffmpeg's own AAC encoder
    CodecRow{"libopencore_amrnb", "",
             "Debian's ffmpeg is built without the AMR-NB encoder (libopencore_amrnb)"},
    CodecRow{"flac", "flac", ""},
    CodecRow{"alac", "alac", ""},
    CodecRow{"wmav1", "wmav1", ""},
    CodecRow{"wmav2", "wmav2", ""},
    CodecRow{"pcm_s16le", "pcm_s16le", ""},
    CodecRow{"pcm_s16be", "pcm_s16be", ""},
    CodecRow{"copy", "copy", ""},
};

}  // namespace

EncoderChoice MapEncoder(std::string_view engineName) {
  for (const CodecRow& row : kCodecs) {
    if (row.engineName != engineName) continue;
    EncoderChoice choice;
    choice.available = !row.encoder.empty();
    choice.encoder = row.encoder;
    choice.reason = row.reason;
    return choice;
  }
  return {true, std::string(engineName), ""};
}

}  // namespace mivora::trancor
