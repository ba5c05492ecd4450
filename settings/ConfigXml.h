#pragma once
// The settings the program keeps between runs: the recently used output
// folders (most recent first), the identifier of the last chosen profile and
// how many conversions run at once, stored in config.xml in the per-user
// data folder.
//
// Thread ownership: one instance for the process, used on the user-interface
// thread only.

#include <string>
#include <vector>

namespace mivora {

class CConfigXml {
 public:
  // Reads the file. True when it was parsed and has a root element; on false
  // every field stays as it was. "dir" and "xml" elements count at any depth.
  bool LoadConfig(const std::string& path);
  // Writes every field as a new file that replaces the old one in one step
  // (written beside it, then renamed), so no half-written file is ever left.
  bool SaveConfig(const std::string& path) const;

  void GetRecentDirs(std::vector<std::string>& out) const { out = recentDirs_; }
  void SetRecentDirs(const std::vector<std::string>* dirs);
  std::string GetLastProfileId() const { return lastProfileId_; }
  void SetLastProfileId(const std::string& id) { lastProfileId_ = id; }
  // Conversions at once as the user chose them; 0 when never chosen.
  int GetConversionsAtOnce() const { return conversionsAtOnce_; }
  void SetConversionsAtOnce(int count) { conversionsAtOnce_ = count > 0 ? count : 0; }

  // AppDataFolder("Mivora") + "/config.xml".
  static std::string DefaultPath();

 private:
  std::vector<std::string> recentDirs_;
  std::string lastProfileId_;
  int conversionsAtOnce_ = 0;
};

}  // namespace mivora
