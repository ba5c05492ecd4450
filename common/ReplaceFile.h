#pragma once
// The one way this program rewrites a file in place: the new text goes to a
// file under a name of its own in the same folder, is synced to the disk,
// then renamed over the old one, so that a reader (or a crash) sees the old
// file or the new one, never a part.

#include <string>
#include <string_view>

namespace mivora {

enum class ReplacedFileMode {
  kPrivate,  // 0600: the user's files and choices
  kKeep,     // the old file's mode; a new file gets 0666 less the umask
};

// False when the file cannot be written; nothing is then left beside it and
// the old file is as it was.
bool ReplaceFile(const std::string& path, std::string_view text, ReplacedFileMode mode);

}  // namespace mivora
