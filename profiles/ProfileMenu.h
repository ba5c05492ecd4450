#pragma once
// The profile menu: finds the profile files, groups them, gives each a stable
// identifier (ProfileCatalog.h), remembers the current profile, and shows the
// menu through a view that the desktop program supplies. Its five operations
// are those the main window calls: Prepare, Select, Current, Show, Release.
//
// A fresh installation starts on kInitialProfile (or the first profile when
// that file is missing). The catalog is scanned again whenever the menu is
// shown or an unknown identifier is selected, so profiles added while the
// program runs are found.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "profiles/ProfileCatalog.h"

namespace mivora {

inline constexpr const char* kInitialProfile = "General Video/AVI - Audio Video Interleaved.xml";
inline constexpr unsigned kProfileChosenMessage = 0x500;

// Draws the menu and reports the user's pick (nothing when dismissed).
class ProfileMenuView {
 public:
  virtual ~ProfileMenuView() = default;
  virtual std::optional<int32_t> Pick(const std::vector<ProfileGroup>& groups, int32_t currentId,
                                      int x, int y) = 0;
};

// Delivers a message to a window (posted: the receiver handles it later).
using MessagePoster = std::function<void(uint64_t window, unsigned message)>;

struct CurrentProfile {
  std::string path;
  std::string name;
  int32_t id = 0;
};

class ProfileMenu {
 public:
  // `profilesFolder` empty: the served folder (ProfileFolder.h) is used.
  ProfileMenu(std::shared_ptr<ProfileMenuView> view, MessagePoster poster,
              std::string profilesFolder = {});

  // Prepares the menu for a window and a per-user folder (where the
  // identifier table and, when needed, the writable profile copy live).
  bool Prepare(uint64_t window, const std::string& userFolder);
  // Makes the profile with this identifier the current one; false (nothing
  // changes) when no profile has it.
  bool Select(int32_t id);
  // The current profile; false when there is none (no profile files).
  bool Current(CurrentProfile* current) const;
  // Shows the menu at x, y; after a pick, makes it current and posts
  // `message` to `window`. True when the user picked a profile.
  bool Show(uint64_t window, int x, int y, unsigned message);
  // Forgets the window, the catalog and the current profile.
  void Release();

  const ProfileCatalog& Catalog() const { return catalog_; }
  const std::string& ProfilesFolder() const { return folder_; }

 private:
  void Rescan();

  std::shared_ptr<ProfileMenuView> view_;
  MessagePoster poster_;
  std::string fixedFolder_;
  std::string folder_;
  std::unique_ptr<ProfileIdTable> ids_;
  ProfileCatalog catalog_;
  uint64_t window_ = 0;
  std::string currentRelativePath_;
};

}  // namespace mivora
