#include "cli/ProfileChoice.h"

#include <climits>
#include <cstdlib>

#include "common/Folders.h"
#include "profiles/Profile.h"
#include "profiles/ProfileMenu.h"

namespace mivora::cli {
namespace {

bool IsIdentifier(const std::string& text) {
  return !text.empty() && text.size() <= 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

}  // namespace

bool ResolveProfile(const std::string& text, TargetProfile* target, std::string* error) {
  ProfileMenu menu(nullptr, nullptr);
  bool haveMenu = menu.Prepare(0, AppDataFolder("Mivora"));
  if (IsIdentifier(text) && !FileExists(text)) {
    CurrentProfile current;
    if (!haveMenu || !menu.Select(LeadingInteger(text)) || !menu.Current(&current)) {
      *error = "no profile has the identifier " + text;
      return false;
    }
    *target = {current.path, current.id};
    return true;
  }
  if (!FileExists(text) || IsDirectory(text)) {
    *error = "no profile file " + text;
    return false;
  }
  *target = {RealPath(text), 0};
  if (haveMenu) {
    for (const ProfileEntry& entry : menu.Catalog().All())
      if (RealPath(entry.path) == target->path) target->id = entry.id;
  }
  return true;
}

}  // namespace mivora::cli
