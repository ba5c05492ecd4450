#pragma once
// Which devices can really encode H.264 (and which of them H.265): for each
// CUDA device, a context is made, an encode session opened on it and the
// codecs looked for among the session's encode GUIDs; then everything is
// closed again. A device counts only when all of that works, whatever the
// driver's other libraries claim about encoder capacity.

#include <string>

namespace mivora::cuenc {

struct ProbeResult {
  int devices = 0;      // devices with a working H.264 encoder
  int hevcDevices = 0;  // devices whose working encoder also has H.265 (HEVC)
  std::string report;  // one line per finding, each ending in '\n'
};

ProbeResult ProbeH264Encoders();

}  // namespace mivora::cuenc
