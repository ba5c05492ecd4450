#include "pipeline/EnginePath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/Folders.h"

namespace mivora {
namespace {

// A program the engine can start by name, searched as it searches.
bool OnSearchPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    std::string candidate = (folder.empty() ? std::string(".") : folder) + "/" + std::string(name);
    struct stat facts {};
    if (::stat(candidate.c_str(), &facts) == 0 && S_ISREG(facts.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return true;
    if (colon == std::string_view::npos) return false;
    folders.remove_prefix(colon + 1);
  }
}

}  // namespace

std::string EnginePath() { return ProgramFolderSlash() + "trancor"; }

std::string EngineProblem() {
  const std::string engine = EnginePath();
  if (::access(engine.c_str(), X_OK) != 0) {
    return "the converter engine cannot be started (cannot start " + engine + ": " + std::strerror(errno) + ")";
  }
  // The engine's own words when it cannot start ffmpeg.
  if (!OnSearchPath("ffmpeg"))
    return "trancor: ffmpeg is not installed or cannot be started (cannot start ffmpeg: No such file or directory)";
  return "";
}

}  // namespace mivora
