#pragma once
// Folders and files: the program folder, the per-user folders (XDG), the
// temporary folder and small file queries.

#include <cstdint>
#include <string>
#include <string_view>

namespace mivora {

// Folder of the running program file, without a trailing '/'.
std::string ProgramFolder();
// The same with exactly one trailing '/'.
std::string ProgramFolderSlash();
// Makes ProgramFolder() answer `folder` from now on. Used by tests and by a
// front end whose helper programs live elsewhere than its own executable.
void SetProgramFolder(std::string folder);

// $XDG_CONFIG_HOME (else ~/.config) + "/" + name; created when missing.
std::string AppDataFolder(std::string_view name);
// The user's documents and videos folders (XDG user dirs, else ~/Documents
// and ~/Videos); created neither.
std::string DocumentsFolder();
std::string VideosFolder();
// $TMPDIR (else /tmp) without trailing '/'.
std::string TempFolder();

// Creates a new empty file "kakaXXXXXX" in TempFolder() that no other file has
// and returns its path + "." + extension. The empty file stays on disk. Empty
// when the folder cannot be written.
std::string TempFileName(std::string_view extension);

// True when the path names a file or folder; false for an empty path.
bool FileExists(std::string_view path);
bool IsDirectory(std::string_view path);
// Size in bytes; 0 when the file cannot be read.
uint64_t FileSize(std::string_view path);

// Creates the folder and its parents; true when it exists afterwards.
bool CreateFolderTree(std::string_view path);

// The base name of a path: text after the last '/'.
std::string_view BaseName(std::string_view path);
// The folder part of a path: text before the last '/' ("" when none).
std::string_view FolderOf(std::string_view path);

}  // namespace mivora
