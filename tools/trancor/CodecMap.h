#pragma once
// The engine's codec names (those the argument builder writes) and the
// encoders of Debian's ffmpeg that stand for them.

#include <string>
#include <string_view>
#include <vector>

namespace mivora::trancor {

struct EncoderChoice {
  bool available = false;
  std::string encoder;  // ffmpeg's encoder name (or "copy")
  std::string reason;   // why it is not available, for the console text
  // ffmpeg options that set the encoder's speed (e.g. "-preset", "faster").
  std::vector<std::string> speedOptions;
};

// Names not in the table are passed to ffmpeg unchanged; ffmpeg then decides.
// `frameSize` ("WIDTHxHEIGHT", or empty for the source's) picks the speed:
// frames larger than 1920x1080 encode at a faster setting.
EncoderChoice MapEncoder(std::string_view engineName, std::string_view frameSize = {});

// For a GPU encoder of ffmpeg ("h264_nvenc"), the engine codec name of the
// software encoder that converts when it cannot be opened ("libx264"); empty
// for any other encoder.
std::string_view SoftwareStandIn(std::string_view gpuEncoder);

}  // namespace mivora::trancor
