#include "cli/ProfileChoice.h"

#include <algorithm>
#include <cctype>
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

bool SameWithoutCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// A profile of the catalogue named by its path inside the Profiles folder
// ("Audio/MP3 - MPEG Layer-3 Audio.xml", ".xml" may be left out) or by its
// name ("MP3 - MPEG Layer-3 Audio", any letter case). Null when none is; a
// name two groups share is refused with `error`.
const ProfileEntry* FindInCatalog(const std::vector<ProfileEntry>& all, const std::string& text,
                                  std::string* error) {
  std::string relative = text;
  if (relative.size() < 4 || relative.compare(relative.size() - 4, 4, ".xml") != 0) relative += ".xml";
  for (const ProfileEntry& entry : all)
    if (entry.relativePath == relative) return &entry;
  const ProfileEntry* found = nullptr;
  for (const ProfileEntry& entry : all) {
    if (!SameWithoutCase(entry.name, text)) continue;
    if (found) {
      *error = "more than one profile is named \"" + text + "\"; give its group too (\"" +
               found->relativePath + "\") or its identifier";
      return nullptr;
    }
    found = &entry;
  }
  return found;
}

}  // namespace

bool ResolveProfile(const std::string& text, TargetProfile* target, std::string* error) {
  ProfileMenu menu(nullptr, nullptr);
  bool haveMenu = menu.Prepare(0, AppDataFolder("Mivora"));
  if (IsIdentifier(text) && !FileExists(text)) {
    CurrentProfile current;
    if (!haveMenu || !menu.Select(LeadingInteger(text)) || !menu.Current(&current)) {
      *error = "no profile has the identifier " + text + " (mivora-cli profiles lists them)";
      return false;
    }
    *target = {current.path, current.id};
    return true;
  }
  std::vector<ProfileEntry> all;
  if (haveMenu) all = menu.Catalog().All();
  if (!FileExists(text) || IsDirectory(text)) {
    error->clear();
    if (const ProfileEntry* entry = FindInCatalog(all, text, error)) {
      *target = {entry->path, entry->id};
      return true;
    }
    if (error->empty())
      *error = "no profile file, profile path or profile name \"" + text +
               "\" (mivora-cli profiles lists them)";
    return false;
  }
  *target = {RealPath(text), 0};
  for (const ProfileEntry& entry : all)
    if (RealPath(entry.path) == target->path) target->id = entry.id;
  return true;
}

}  // namespace mivora::cli
