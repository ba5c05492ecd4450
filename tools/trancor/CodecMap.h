#pragma once
// The engine's codec names (those the argument builder writes) and the
// encoders of Debian's ffmpeg that stand for them.

#include <string>
#include <string_view>

namespace mivora::trancor {

struct EncoderChoice {
  bool available = false;
  std::string encoder;  // ffmpeg's encoder name (or "copy")
  std::string reason;   // why it is not available, for the console text
};

// Names not in the table are passed to ffmpeg unchanged; ffmpeg then decides.
EncoderChoice MapEncoder(std::string_view engineName);

}  // namespace mivora::trancor
