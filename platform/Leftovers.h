#pragma once
// Files and folders that a process removes when it ends, but that stay when
// it is killed (kill -9, a crash, a power cut of the session). Each carries
// its owner's process id in its name, so that a later process can tell
// whether the owner is gone and remove it; the files of a process that still
// runs, and anything that belongs to another user, are never touched.
//
// Temporary folders: "<prefix>-<pid>-XXXXXX" in the temporary folder, made
// by MakeOwnedTempFolder. (Hidden unfinished outputs are named in
// pipeline/OutputFiles.h along the same lines.)

#include <sys/types.h>

#include <string>
#include <string_view>

namespace mivora {

// True when no process of that id exists any more. A process of another
// user (not ours to ask) counts as running.
bool ProcessHasEnded(pid_t pid);

// Reads the owner out of "<prefix>-<pid>-XXXXXX" (the six characters
// mkdtemp fills in); 0 when `name` is not such a name.
pid_t OwnerOfTempFolderName(std::string_view name, std::string_view prefix);

// Makes "<parent>/<prefix>-<this process's id>-XXXXXX", only the user may
// enter it. "" when it cannot be made.
std::string MakeOwnedTempFolder(const std::string& parent, std::string_view prefix);

// The prefixes of the program's own temporary folders: the per-process
// folder of every program ("mivora") and the engine adapter's ("trancor").
inline constexpr std::string_view kProgramTempPrefix = "mivora";
inline constexpr std::string_view kEngineTempPrefix = "trancor";

// Removes, in `parent`, the program's temporary folders whose owner has
// ended: real folders (no links) of this user only. Returns how many.
int RemoveTempFoldersOfEndedProcesses(const std::string& parent);

}  // namespace mivora
