#pragma once
// The settings the program keeps between runs: the recently used output
// folders (most recent first) and the identifier of the last chosen profile,
// stored in config.xml in the per-user data folder.
//
// Thread ownership: one instance for the process, used on the user-interface
// thread only.

#include <string>
#include <vector>

namespace mivora {

class CConfigXml {
 public:
  // Reads the file. True when it was parsed and has a root element; on false
  // both fields stay as they were. "dir" and "xml" elements count at any depth.
  bool LoadConfig(const std::string& path);
  // Writes both fields as a new file that replaces the old one in one step
  // (written beside it, then renamed), so no half-written file is ever left.
  bool SaveConfig(const std::string& path) const;

  void GetRecentDirs(std::vector<std::string>& out) const { out = recentDirs_; }
  void SetRecentDirs(const std::vector<std::string>* dirs);
  std::string GetLastProfileId() const { return lastProfileId_; }
  void SetLastProfileId(const std::string& id) { lastProfileId_ = id; }

  // AppDataFolder("Mivora") + "/config.xml".
  static std::string DefaultPath();

 private:
  std::vector<std::string> recentDirs_;
  std::string lastProfileId_;
};

}  // namespace mivora
