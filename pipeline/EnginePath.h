#pragma once
// Where the converter engine lies: "trancor" in the program folder. The path
// is computed by the first call (the first engine runner or probe made) and
// kept for the rest of the process.

#include <string>

namespace mivora {

const std::string& EnginePath();

// Why the engine cannot run at all ("" when it can): the engine is missing
// or not executable, or no ffmpeg is on the search path for it to start.
// Looked up on the spot, without starting anything.
std::string EngineProblem();

}  // namespace mivora
