#include "profiles/ProfileFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/Folders.h"
#include "common/Log.h"

namespace fs = std::filesystem;

namespace mivora {
namespace {

bool Writable(const fs::path& path) { return access(path.c_str(), W_OK) == 0; }

}  // namespace

std::string ProgramProfilesFolder() { return ProgramFolderSlash() + "Profiles"; }

bool ProfilesFolderWritable(const std::string& profilesFolder) {
  if (!IsDirectory(profilesFolder) || !Writable(profilesFolder)) return false;
  std::error_code error;
  for (fs::recursive_directory_iterator it(profilesFolder, error), end; !error && it != end;
       it.increment(error)) {
    if (it.depth() > 1) continue;
    if (!Writable(it->path())) return false;
  }
  return !error;
}

std::string ServedProfilesFolder(const std::string& programProfiles, const std::string& userFolder) {
  if (ProfilesFolderWritable(programProfiles)) return programProfiles;
  if (userFolder.empty()) return programProfiles;
  std::string copy = userFolder + "/Profiles";
  if (!CreateFolderTree(copy)) {
    MLOG("ServedProfilesFolder, cannot create %s; profile changes cannot be saved", copy.c_str());
    return programProfiles;
  }
  chmod(copy.c_str(), 0700);
  std::error_code error;
  for (fs::directory_iterator group(programProfiles, error), end; !error && group != end;
       group.increment(error)) {
    std::error_code typeError;
    if (!group->is_directory(typeError)) continue;
    fs::path target = fs::path(copy) / group->path().filename();
    fs::create_directories(target, typeError);
    fs::permissions(target, fs::perms::owner_all, typeError);
    std::error_code listError;
    for (fs::directory_iterator file(group->path(), listError), fileEnd; !listError && file != fileEnd;
         file.increment(listError)) {
      if (!file->is_regular_file(typeError) || file->path().extension() != ".xml") continue;
      fs::path destination = target / file->path().filename();
      if (fs::exists(destination, typeError)) continue;
      std::error_code copyError;
      fs::copy_file(file->path(), destination, copyError);
      if (copyError) {
        MLOG("ServedProfilesFolder, cannot copy %s: %s", file->path().c_str(),
             copyError.message().c_str());
        continue;
      }
      // The copy belongs to the user alone: writable whatever the installed
      // file's mode, readable by nobody else.
      fs::permissions(destination, fs::perms::owner_read | fs::perms::owner_write, copyError);
    }
  }
  return copy;
}

}  // namespace mivora
