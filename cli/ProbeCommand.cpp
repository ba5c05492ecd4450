// mivora-cli probe FILE: the facts the program learns about a source, one
// "name=value" line per field in their fixed order. When the engine cannot
// run at all it says why on standard error instead.

#include <cstdio>

#include "cli/CliCommands.h"
#include "pipeline/MediaInfo.h"
#include "pipeline/Trancor.h"

namespace mivora::cli {

int RunProbe(const Args& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: mivora-cli probe FILE\n");
    return 2;
  }
  MediaInfo info;
  Trancor probe;
  bool found = probe.Probe(args[0], &info.video, &info.audio);
  if (!probe.EngineError().empty()) {
    std::fprintf(stderr, "mivora-cli probe: %s\n", probe.EngineError().c_str());
    return 1;
  }
  for (const auto& [name, value] : MediaInfoFields(info))
    std::printf("%.*s=%.*s\n", static_cast<int>(name.size()), name.data(),
                static_cast<int>(value.size()), value.data());
  return found ? 0 : 1;
}

}  // namespace mivora::cli
