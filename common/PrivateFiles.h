#pragma once
// Folders and files that only the user may read: the per-user folder (it
// lists the user's files and choices) and the folder of the instance lock.

#include <string>
#include <string_view>

namespace mivora {

// True when `path` itself (a link is not followed) is a folder of this user
// that nobody else may enter or change (no permission for group or others).
bool IsPrivateFolder(const std::string& path);

// Makes `path` such a folder: created with mode 0700 when missing, tightened
// when it is this user's but open to others. False (with `why`) when it is a
// link, no folder, or another user's: then it must not be used.
bool MakePrivateFolder(const std::string& path, std::string* why);

// Takes every permission of group and others off `folder` and everything in
// it (this user's entries only; links are neither followed nor changed).
void TightenPrivateTree(const std::string& folder);

// Replaces `path` with `text` as ReplaceFile does, as a file of mode 0600.
bool ReplacePrivateFile(const std::string& path, std::string_view text);

}  // namespace mivora
