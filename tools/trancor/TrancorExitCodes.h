#pragma once
// trancor's exit codes: ffmpeg's own exit code when ffmpeg ran (0 success,
// 128 + N when signal N ended it), else one of these.

namespace mivora::trancor {

constexpr int kExitBadCommandLine = 2;  // an option or value it does not accept
constexpr int kExitCannotConvert = 3;   // a codec or edit that cannot be had here
constexpr int kExitNoFfmpeg = 127;      // ffmpeg is not installed or cannot start

}  // namespace mivora::trancor
