#pragma once
// Where the converter engine lies: "trancor" in the program folder as it is
// at the call.

#include <string>

namespace mivora {

std::string EnginePath();

// Why the engine cannot run at all ("" when it can): the engine is missing
// or not executable, or no ffmpeg is on the search path for it to start.
// Looked up on the spot, without starting anything.
std::string EngineProblem();

}  // namespace mivora
