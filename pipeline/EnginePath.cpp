#include "pipeline/EnginePath.h"

#include "common/Folders.h"

namespace mivora {

const std::string& EnginePath() {
  static const std::string path = ProgramFolderSlash() + "trancor";
  return path;
}

}  // namespace mivora
