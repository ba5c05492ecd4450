#pragma once
// Where profile files are read and written. The program writes the user's
// choices into profile files, and an installed program folder is usually not
// writable: the program folder's Profiles folder is served when it (its group
// folders and files included) can be written, otherwise a per-user copy in
// `userFolder`/Profiles. The copy is seeded from the program folder: every
// profile file the copy lacks is copied in (so profiles shipped later appear
// too); a file the copy already has is never overwritten.

#include <string>

namespace mivora {

// The program folder's Profiles folder.
std::string ProgramProfilesFolder();

// True when the folder, its group folders and their profile files can all be
// written by this process.
bool ProfilesFolderWritable(const std::string& profilesFolder);

// The Profiles folder to use, seeding the per-user copy when needed. When no
// per-user copy can be made, the program folder's (read-only) folder is
// returned and the reason logged.
std::string ServedProfilesFolder(const std::string& programProfiles, const std::string& userFolder);

}  // namespace mivora
