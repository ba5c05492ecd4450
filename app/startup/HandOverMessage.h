#pragma once
// The message a second start sends to the running program: the files it was
// given, to be added as a drop adds them. An empty list only asks the running
// program to show its window.
//
// Layout, byte for byte: the header line "MVR-OPEN 1\n", then each path
// followed by one NUL byte, then one more NUL byte (an empty path ends the
// list). Paths are the file system's bytes; they cannot hold a NUL.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

inline constexpr std::string_view kHandOverHeader = "MVR-OPEN 1\n";
// What the running program reads at most from one sender, and how many paths.
inline constexpr size_t kHandOverMaxBytes = 1 << 20;
inline constexpr size_t kHandOverMaxPaths = 10000;
// The running program's answer once it has taken the message.
inline constexpr std::string_view kHandOverAccepted = "OK\n";

std::string EncodeHandOver(const std::vector<std::string>& paths);

enum class HandOverParse {
  kIncomplete,  // more bytes are needed
  kComplete,    // `paths` holds the list
  kInvalid,     // not such a message, or beyond the limits: drop the sender
};
// Reads the bytes received so far.
HandOverParse ParseHandOver(std::string_view bytes, std::vector<std::string>* paths);

}  // namespace mivora
