// mivora-cli adjust PROFILE [--show] [NAME=POSITION ...]: shows the ten
// adjustable lists of a profile with their selected positions and, given
// NAME=POSITION pairs, chooses those items and writes them into the profile
// file as the "Adjust profiles" dialog's OK does.
//
// The file written is the one the profile menu serves: when the program
// folder's profiles cannot be written, a path into them is redirected to the
// per-user copy, so the shipped files are never changed.

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliCommands.h"
#include "common/Folders.h"
#include "windowmodels/AdjustProfileDialog.h"
#include "profiles/Profile.h"
#include "profiles/ProfileFolder.h"
#include "profiles/ProfileMenu.h"

namespace mivora::cli {
namespace {

constexpr const char* kUsage = "usage: mivora-cli adjust PROFILE [--show] [NAME=POSITION ...]\n";

bool IsDigits(std::string_view text, size_t maxDigits) {
  return !text.empty() && text.size() <= maxDigits &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The profile file to read and write, or "" with `error`.
std::string ResolveAdjustedProfile(const std::string& text, std::string* error) {
  ProfileMenu menu(nullptr, nullptr);
  bool haveMenu = menu.Prepare(0, AppDataFolder("Mivora"));
  if (IsDigits(text, 10) && !FileExists(text)) {
    CurrentProfile current;
    if (!haveMenu || !menu.Select(LeadingInteger(text)) || !menu.Current(&current)) {
      *error = "no profile has the identifier " + text;
      return {};
    }
    return current.path;
  }
  if (!FileExists(text) || IsDirectory(text)) {
    *error = "no profile file " + text;
    return {};
  }
  std::string path = RealPath(text);
  std::string shipped = RealPath(ProgramProfilesFolder()) + "/";
  if (!path.starts_with(shipped)) return path;
  std::string served = RealPath(menu.ProfilesFolder()) + "/";
  if (served != shipped) {
    std::string copy = served + path.substr(shipped.size());
    if (FileExists(copy)) return copy;
  } else if (ProfilesFolderWritable(ProgramProfilesFolder())) {
    return path;
  }
  *error = "the program's profiles cannot be written and there is no per-user copy of " + path;
  return {};
}

void ShowLists(const AdjustProfileDialog& dialog) {
  std::printf("%s\n", dialog.ProfilePath().c_str());
  for (int i = 0; i < kParameterCount; ++i) {
    const ListControl& list = dialog.List(static_cast<ProfileParameter>(i));
    if (list.HasSelection())
      std::printf("%s: position %d, \"%s\"\n", kScalarElementNames[i], list.Selected(),
                  list.ShownText().c_str());
    else
      std::printf("%s: no position, \"%s\"%s\n", kScalarElementNames[i], list.ShownText().c_str(),
                  list.Enabled() ? "" : " (no list)");
    for (size_t k = 0; k < list.Count(); ++k)
      std::printf("  %c %zu %s\n", static_cast<int32_t>(k) == list.Selected() ? '*' : ' ', k,
                  list.Items()[k].c_str());
  }
}

}  // namespace

int RunAdjust(const Args& args) {
  if (args.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  bool show = false;
  std::vector<std::pair<ProfileParameter, int32_t>> choices;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--show") {
      show = true;
      continue;
    }
    size_t equals = arg.find('=');
    std::optional<ProfileParameter> parameter =
        equals == std::string::npos ? std::nullopt : ParameterByName(arg.substr(0, equals));
    std::string position = equals == std::string::npos ? std::string() : arg.substr(equals + 1);
    if (!parameter || !IsDigits(position, 9)) {
      std::fprintf(stderr, "mivora-cli adjust: not NAME=POSITION: %s\n%s", arg.c_str(), kUsage);
      std::fprintf(stderr, "NAME is one of:");
      for (const char* name : kScalarElementNames) std::fprintf(stderr, " %s", name);
      std::fprintf(stderr, "\n");
      return 2;
    }
    choices.emplace_back(*parameter, LeadingInteger(position));
  }

  std::string error;
  std::string path = ResolveAdjustedProfile(args[0], &error);
  if (path.empty()) {
    std::fprintf(stderr, "mivora-cli adjust: %s\n", error.c_str());
    return 1;
  }
  AdjustProfileDialog dialog(path);
  dialog.OnInitDialog();
  if (choices.empty()) {
    ShowLists(dialog);
    return 0;
  }
  for (const auto& [parameter, position] : choices) {
    ListControl& list = dialog.List(parameter);
    if (!list.Select(position)) {
      std::fprintf(stderr, "mivora-cli adjust: %s has no position %d (it offers %zu)\n",
                   kScalarElementNames[parameter], position, list.Count());
      return 2;
    }
  }
  if (!dialog.OnOK()) {
    std::fprintf(stderr, "mivora-cli adjust: %s\n", dialog.Error().c_str());
    return 1;
  }
  std::printf("saved %s\n", path.c_str());
  if (show) {
    AdjustProfileDialog saved(path);
    saved.OnInitDialog();
    ShowLists(saved);
  }
  return 0;
}

}  // namespace mivora::cli
