#include "profiles/ProfileCatalog.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "common/Log.h"
#include "common/PrivateFiles.h"
#include "profiles/Profile.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

constexpr int32_t kIdRange = 2000000000;

bool HasControlCharacter(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::vector<std::string> SortedNames(const fs::path& folder, bool folders) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    std::error_code typeError;
    bool isFolder = it->is_directory(typeError);
    bool isFile = it->is_regular_file(typeError);
    std::string name = it->path().filename().string();
    if (HasControlCharacter(name)) continue;
    if (folders ? isFolder : (isFile && name.size() > 4 && name.ends_with(".xml")))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

int32_t ProfileIdFromPath(std::string_view relativePath) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : relativePath) {
    hash ^= c;
    hash *= 16777619u;
  }
  return static_cast<int32_t>(hash % kIdRange) + 1;
}

ProfileIdTable::ProfileIdTable(std::string tableFile) : file_(std::move(tableFile)) {
  if (file_.empty()) return;
  std::ifstream in(file_);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0) continue;
    std::string path = line.substr(tab + 1);
    if (!path.empty() && path.back() == '\r') path.pop_back();
    int32_t id = LeadingInteger(std::string_view(line).substr(0, tab));
    if (id < 1 || id > kIdRange || path.empty() || byPath_.count(path) || byId_.count(id)) continue;
    byPath_[path] = id;
    byId_[id] = path;
  }
}

int32_t ProfileIdTable::IdFor(const std::string& relativePath) {
  if (auto found = byPath_.find(relativePath); found != byPath_.end()) return found->second;
  int32_t id = ProfileIdFromPath(relativePath);
  while (byId_.count(id)) id = id % kIdRange + 1;
  byPath_[relativePath] = id;
  byId_[id] = relativePath;
  changed_ = true;
  return id;
}

bool ProfileIdTable::Save() {
  if (file_.empty() || !changed_) return true;
  std::ostringstream text;
  for (const auto& [id, path] : byId_) text << id << '\t' << path << '\n';
  if (!ReplacePrivateFile(file_, text.str())) {
    MLOG("ProfileIdTable::Save, cannot replace %s", file_.c_str());
    return false;
  }
  changed_ = false;
  return true;
}

ProfileCatalog ProfileCatalog::Scan(const std::string& profilesFolder, ProfileIdTable& ids) {
  ProfileCatalog catalog;
  for (const std::string& group : SortedNames(profilesFolder, true)) {
    ProfileGroup entry{group, {}};
    for (const std::string& file : SortedNames(fs::path(profilesFolder) / group, false)) {
      ProfileEntry profile;
      profile.group = group;
      profile.name = file.substr(0, file.size() - 4);
      profile.relativePath = group + "/" + file;
      profile.path = profilesFolder + "/" + profile.relativePath;
      profile.id = ids.IdFor(profile.relativePath);
      entry.profiles.push_back(std::move(profile));
    }
    if (!entry.profiles.empty()) catalog.groups_.push_back(std::move(entry));
  }
  ids.Save();
  return catalog;
}

std::vector<ProfileEntry> ProfileCatalog::All() const {
  std::vector<ProfileEntry> all;
  for (const auto& group : groups_) all.insert(all.end(), group.profiles.begin(), group.profiles.end());
  return all;
}

const ProfileEntry* ProfileCatalog::FindById(int32_t id) const {
  for (const auto& group : groups_)
    for (const auto& profile : group.profiles)
      if (profile.id == id) return &profile;
  return nullptr;
}

const ProfileEntry* ProfileCatalog::FindByRelativePath(std::string_view relativePath) const {
  for (const auto& group : groups_)
    for (const auto& profile : group.profiles)
      if (profile.relativePath == relativePath) return &profile;
  return nullptr;
}

}  // namespace mivora
