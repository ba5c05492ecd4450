#include "cli/CliCommands.h"

#include <cstdio>

#include "common/SystemQueries.h"

namespace mivora::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"gpu", "gpu                      report whether the GPU H.264 encoder can be used", RunGpu},
      {"probe", "probe FILE...            print the facts read from each FILE, a block per file", RunProbe},
      {"demo", "demo [-o FOLDER]         convert a generated 2-second clip, showing progress (keeping it in FOLDER)", RunDemo},
      {"profiles", "profiles                 list the profiles: identifier, group, name, path", RunProfiles},
      {"args", "args PROFILE             print the engine arguments of a profile (path or identifier)", RunArgs},
      {"adjust", "adjust PROFILE [--show] [NAME=POSITION ...]   show a profile's lists; choose items and save them", RunAdjust},
      {"convert", "convert --profile PROFILE -o FOLDER [options] FILE...   convert files with progress", RunConvert},
  };
  return commands;
}

int RunGpu(const Args&) {
  std::string report;
  bool supported = GpuEncoderSupported(&report);
  std::printf("%s\n", report.c_str());
  return supported ? 0 : 1;
}

}  // namespace mivora::cli
