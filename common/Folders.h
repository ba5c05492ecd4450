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

// $XDG_CONFIG_HOME (else ~/.config) + "/" + name; created when missing, and
// open to nobody but the user (mode 0700, an older folder is tightened).
std::string AppDataFolder(std::string_view name);
// The user's documents and videos folders (XDG user dirs, else ~/Documents
// and ~/Videos); created neither.
std::string DocumentsFolder();
std::string VideosFolder();
// $TMPDIR (else /tmp) without trailing '/'.
std::string TempFolder();

// This process's own folder inside TempFolder(), "mivora-<pid>-XXXXXX",
// which only the user may enter. Made on first use; removed with everything
// in it when the program ends normally, and by a later start when the
// process was killed (RemoveLeftoversOfEndedProcesses). "" when it cannot be
// made.
std::string PrivateTempFolder();
// Creates a new empty file "kakaXXXXXX.<extension>" in PrivateTempFolder()
// (exclusively: no other file had the name) and returns its path; the caller
// removes it when done. "" when it cannot, or when the extension holds '/'.
std::string TempFileName(std::string_view extension);
// Creates a new empty folder "<prefix>XXXXXX" in PrivateTempFolder() and
// returns its path; "" when it cannot.
std::string MakeTempFolder(std::string_view prefix);
// Removes the temporary folders (of the program and of its engine adapter)
// that processes of this user left behind when they were killed; at the
// start of every program.
void RemoveLeftoversOfEndedProcesses();
// Removes a file or a folder with everything in it; links are removed, not
// followed. Nothing happens for an empty path.
void RemoveTree(std::string_view path);

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
