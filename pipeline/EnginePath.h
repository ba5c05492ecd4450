#pragma once
// Where the converter engine lies: "trancor" in the program folder. The path
// is computed by the first call (the first engine runner or probe made) and
// kept for the rest of the process.

#include <string>

namespace mivora {

const std::string& EnginePath();

}  // namespace mivora
