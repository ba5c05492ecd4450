// mivora-cli args PROFILE [edit options]: the argument text that a conversion
// with this profile (a profile file's path, or an identifier from
// `mivora-cli profiles`) hands the engine: the profile's arguments, a blank,
// the edit arguments, finished as at the start of a conversion.

#include <cstdio>
#include <string>

#include "cli/CliCommands.h"
#include "cli/EditOptions.h"
#include "common/Folders.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMenu.h"

namespace mivora::cli {
namespace {

bool IsIdentifier(const std::string& text) {
  return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int RunArgs(const Args& args) {
  EditSettings edits;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size();) {
    bool matched = false;
    std::string error;
    if (!ParseEditOption(args, &i, &edits, &matched, &error)) {
      std::fprintf(stderr, "mivora-cli args: %s\n", error.c_str());
      return 2;
    }
    if (!matched) positional.push_back(args[i++]);
  }
  if (positional.size() != 1) {
    std::fprintf(stderr, "usage: mivora-cli args PROFILE [--edit FIELD=VALUE | edit options]...\n");
    return 2;
  }
  std::string path = positional[0];
  if (IsIdentifier(path) && !FileExists(path)) {
    ProfileMenu menu(nullptr, nullptr);
    menu.Prepare(0, AppDataFolder("Mivora"));
    CurrentProfile current;
    if (!menu.Select(LeadingInteger(path)) || !menu.Current(&current)) {
      std::fprintf(stderr, "mivora-cli args: no profile has the identifier %s\n", path.c_str());
      return 1;
    }
    path = current.path;
  }
  Profile profile;
  if (!IsDirectory(path) && profile.Load(path)) {
    // The item's profile arguments, one blank, and its edit arguments.
    CompleteEdits(&edits);
    std::string editArguments = edits.BuildEditArguments();
    std::string text = FinishEngineArguments(profile.BuildEngineArguments() + " " + editArguments,
                                             profile.videoAspectRatio);
    std::printf("%s\n", text.c_str());
    return 0;
  }
  std::fprintf(stderr, "mivora-cli args: cannot read the profile file %s\n", path.c_str());
  return 1;
}

}  // namespace mivora::cli
