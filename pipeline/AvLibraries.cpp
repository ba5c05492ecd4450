#include "pipeline/AvLibraries.h"

extern "C" {
#include <libavformat/version.h>
#include <libavutil/version.h>
}

namespace mivora {

AvLibraries OpenAvLibraries() {
  AvLibraries av;
  const std::string formatName = "libavformat.so." + std::to_string(LIBAVFORMAT_VERSION_MAJOR);
  const std::string utilName = "libavutil.so." + std::to_string(LIBAVUTIL_VERSION_MAJOR);
  av.names = formatName + " or " + utilName;
  av.format = ::dlopen(formatName.c_str(), RTLD_NOW | RTLD_LOCAL);
  av.util = av.format ? ::dlopen(utilName.c_str(), RTLD_NOW | RTLD_LOCAL) : nullptr;
  if (!av.format || !av.util) {
    const char* why = ::dlerror();
    av.error = why ? why : "cannot load " + formatName;
  }
  return av;
}

}  // namespace mivora
