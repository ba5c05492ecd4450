#pragma once
// playrun's exit codes, its whole answer to the program that started it.

namespace mivora::playrun {

constexpr int kExitPlayedToEnd = 0;      // the file ended
constexpr int kExitBadCommandLine = 2;   // an option or value it does not accept
constexpr int kExitCannotPlay = 3;       // the file cannot be opened or holds nothing to play
constexpr int kExitNoSharedBlock = 4;    // the shared block or the announcing socket is missing
constexpr int kExitParentGone = 5;       // the program that started it had already ended

}  // namespace mivora::playrun
