#pragma once
// The scratch folder every fuzz target has as the user's own folder
// (XDG_CONFIG_HOME), removed when the target ends: inputs that must lie in a
// file are written there too, so that fuzzing leaves nothing behind.
#include <string>

namespace mivora::fuzz {

const std::string& ScratchFolder();

}  // namespace mivora::fuzz
