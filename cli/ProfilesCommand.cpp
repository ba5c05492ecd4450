// mivora-cli profiles: every profile the profile menu offers, one per line:
// identifier, group, name and full path, separated by tabs.

#include <cstdio>

#include "cli/CliCommands.h"
#include "common/Folders.h"
#include "profiles/ProfileMenu.h"

namespace mivora::cli {

int RunProfiles(const Args& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "mivora-cli profiles: takes no arguments\n");
    return 2;
  }
  ProfileMenu menu(nullptr, nullptr);
  if (!menu.Prepare(0, AppDataFolder("Mivora"))) {
    std::fprintf(stderr, "mivora-cli profiles: no profile files in %s\n", menu.ProfilesFolder().c_str());
    return 1;
  }
  for (const ProfileEntry& profile : menu.Catalog().All())
    std::printf("%d\t%s\t%s\t%s\n", profile.id, profile.group.c_str(), profile.name.c_str(),
                profile.path.c_str());
  return 0;
}

}  // namespace mivora::cli
