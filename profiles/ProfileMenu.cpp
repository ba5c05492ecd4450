#include "profiles/ProfileMenu.h"

#include "common/Log.h"
#include "profiles/ProfileFolder.h"

namespace mivora {

ProfileMenu::ProfileMenu(std::shared_ptr<ProfileMenuView> view, MessagePoster poster,
                         std::string profilesFolder)
    : view_(std::move(view)), poster_(std::move(poster)), fixedFolder_(std::move(profilesFolder)) {}

bool ProfileMenu::Prepare(uint64_t window, const std::string& userFolder) {
  window_ = window;
  folder_ = fixedFolder_.empty() ? ServedProfilesFolder(ProgramProfilesFolder(), userFolder)
                                 : fixedFolder_;
  ids_ = std::make_unique<ProfileIdTable>(userFolder.empty() ? std::string()
                                                             : userFolder + "/profile-ids.txt");
  Rescan();
  const ProfileEntry* initial = catalog_.FindByRelativePath(kInitialProfile);
  if (initial == nullptr && !catalog_.Empty()) initial = &catalog_.Groups().front().profiles.front();
  currentRelativePath_ = initial ? initial->relativePath : std::string();
  MLOG("ProfileMenu::Prepare, folder: %s, current: %s", folder_.c_str(), currentRelativePath_.c_str());
  return !catalog_.Empty();
}

void ProfileMenu::Rescan() {
  if (!ids_) return;
  catalog_ = ProfileCatalog::Scan(folder_, *ids_);
}

bool ProfileMenu::Select(int32_t id) {
  const ProfileEntry* entry = catalog_.FindById(id);
  if (entry == nullptr) {
    Rescan();
    entry = catalog_.FindById(id);
  }
  if (entry == nullptr) return false;
  currentRelativePath_ = entry->relativePath;
  return true;
}

bool ProfileMenu::Current(CurrentProfile* current) const {
  const ProfileEntry* entry = catalog_.FindByRelativePath(currentRelativePath_);
  if (entry == nullptr) return false;
  *current = {entry->path, entry->name, entry->id};
  return true;
}

bool ProfileMenu::Show(uint64_t window, int x, int y, unsigned message) {
  if (!view_ || !ids_) return false;
  Rescan();
  CurrentProfile current;
  int32_t currentId = Current(&current) ? current.id : 0;
  std::optional<int32_t> picked = view_->Pick(catalog_.Groups(), currentId, x, y);
  if (!picked || !Select(*picked)) return false;
  if (poster_) poster_(window, message);
  return true;
}

void ProfileMenu::Release() {
  window_ = 0;
  ids_.reset();
  catalog_ = {};
  currentRelativePath_.clear();
}

}  // namespace mivora
