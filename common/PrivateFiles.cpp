#include "common/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "common/ReplaceFile.h"

namespace mivora {
namespace {

constexpr mode_t kOthersBits = 077;

bool OwnedHere(const struct stat& info) { return info.st_uid == getuid(); }

void TakeOthersBitsOff(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0 || S_ISLNK(info.st_mode) || !OwnedHere(info)) return;
  if ((info.st_mode & kOthersBits) != 0) chmod(path.c_str(), info.st_mode & 07700);
}

}  // namespace

bool IsPrivateFolder(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && OwnedHere(info) &&
         (info.st_mode & kOthersBits) == 0;
}

bool MakePrivateFolder(const std::string& path, std::string* why) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = std::string("cannot be made: ") + std::strerror(errno);
    return false;
  }
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    *why = std::string("cannot be read: ") + std::strerror(errno);
    return false;
  }
  if (S_ISLNK(info.st_mode)) *why = "is a link";
  else if (!S_ISDIR(info.st_mode)) *why = "is no folder";
  else if (!OwnedHere(info)) *why = "belongs to user " + std::to_string(info.st_uid);
  else if ((info.st_mode & kOthersBits) != 0 && chmod(path.c_str(), 0700) != 0)
    *why = std::string("cannot be closed to others: ") + std::strerror(errno);
  else return true;
  return false;
}

void TightenPrivateTree(const std::string& folder) {
  TakeOthersBitsOff(folder);
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    TakeOthersBitsOff(it->path());
  }
}

bool ReplacePrivateFile(const std::string& path, std::string_view text) {
  return ReplaceFile(path, text, ReplacedFileMode::kPrivate);
}

}  // namespace mivora
