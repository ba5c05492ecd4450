#include "platform/Leftovers.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace mivora {
namespace {

constexpr size_t kRandomPartLength = 6;  // mkdtemp's "XXXXXX"

// A decimal process id without sign or leading zero; 0 when not one.
pid_t ParsePid(std::string_view digits) {
  if (digits.empty() || digits[0] == '0') return 0;
  pid_t pid = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
  return error == std::errc() && end == digits.data() + digits.size() && pid > 0 ? pid : 0;
}

// A folder of this user that is no link, looked at without following one.
bool IsOwnFolder(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

bool ProcessHasEnded(pid_t pid) {
  if (pid <= 0) return false;
  return ::kill(pid, 0) != 0 && errno == ESRCH;
}

pid_t OwnerOfTempFolderName(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() + 1 || name.substr(0, prefix.size()) != prefix || name[prefix.size()] != '-')
    return 0;
  std::string_view rest = name.substr(prefix.size() + 1);  // "<pid>-XXXXXX"
  if (rest.size() < kRandomPartLength + 2 || rest[rest.size() - kRandomPartLength - 1] != '-') return 0;
  return ParsePid(rest.substr(0, rest.size() - kRandomPartLength - 1));
}

std::string MakeOwnedTempFolder(const std::string& parent, std::string_view prefix) {
  std::string pattern = parent + "/" + std::string(prefix) + "-" + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

int RemoveTempFoldersOfEndedProcesses(const std::string& parent) {
  DIR* folder = ::opendir(parent.c_str());
  if (folder == nullptr) return 0;
  int removed = 0;
  while (dirent* entry = ::readdir(folder)) {
    std::string_view name = entry->d_name;
    pid_t owner = OwnerOfTempFolderName(name, kProgramTempPrefix);
    if (owner == 0) owner = OwnerOfTempFolderName(name, kEngineTempPrefix);
    if (owner == 0 || !ProcessHasEnded(owner)) continue;
    std::string path = parent + "/" + std::string(name);
    if (!IsOwnFolder(path)) continue;
    std::error_code ignored;
    if (std::filesystem::remove_all(path, ignored) > 0) ++removed;
  }
  ::closedir(folder);
  return removed;
}

}  // namespace mivora
