#pragma once
// The profile files under a Profiles folder, grouped and ordered, each with a
// numeric identifier that stays the same across runs and when other profiles
// are added or removed.
//
// Identifiers. A profile is known by its path relative to the Profiles folder
// ("General Video/AVI - Audio Video Interleaved.xml"), the same for the
// program folder's copy and a per-user copy. Its identifier is the 32-bit
// FNV-1a hash of that path folded into 1..2,000,000,000; should two paths
// meet on one number, the later one takes the next free number. Every number
// handed out is written to a table in the per-user folder
// ("profile-ids.txt": one "identifier<TAB>relative path" line each), and a
// path found in the table keeps its number, so the outcome of a collision
// never changes later and nothing is renumbered when profiles come or go.
// Without a table (or a lost one) the numbers are recomputed from the paths
// alone, which gives the same numbers except after a collision.
//
// Groups are the sub-folders of the Profiles folder in byte order of their
// names; the profiles of a group are its ".xml" files in byte order. Files
// directly in the Profiles folder, deeper folders, and names holding control
// characters are not offered.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mivora {

struct ProfileEntry {
  int32_t id = 0;
  std::string group;         // the group folder's name
  std::string name;          // display name: the file name without ".xml"
  std::string relativePath;  // group + "/" + file name
  std::string path;          // full path of the file
};

struct ProfileGroup {
  std::string name;
  std::vector<ProfileEntry> profiles;
};

// The identifier a path gets when nothing else holds its number.
int32_t ProfileIdFromPath(std::string_view relativePath);

class ProfileIdTable {
 public:
  // `tableFile` empty: identifiers are kept in memory only.
  explicit ProfileIdTable(std::string tableFile = {});
  // The identifier of a path, assigning (and writing down) a new one when needed.
  int32_t IdFor(const std::string& relativePath);
  // Writes the table when it changed; false when it could not be written.
  bool Save();

 private:
  std::string file_;
  std::map<std::string, int32_t> byPath_;
  std::map<int32_t, std::string> byId_;
  bool changed_ = false;
};

class ProfileCatalog {
 public:
  // Finds the profile files under `profilesFolder`.
  static ProfileCatalog Scan(const std::string& profilesFolder, ProfileIdTable& ids);

  const std::vector<ProfileGroup>& Groups() const { return groups_; }
  // Every profile in menu order.
  std::vector<ProfileEntry> All() const;
  const ProfileEntry* FindById(int32_t id) const;
  const ProfileEntry* FindByRelativePath(std::string_view relativePath) const;
  bool Empty() const { return groups_.empty(); }

 private:
  std::vector<ProfileGroup> groups_;
};

}  // namespace mivora
