#include "common/Folders.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/Leftovers.h"

namespace mivora {
namespace {

std::mutex g_programFolderMutex;
std::string g_programFolder;  // guarded by g_programFolderMutex; empty until first asked

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return StripTrailingSlashes(home);
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return StripTrailingSlashes(xdg);
  return HomeFolder() + "/.config";
}

// Reads XDG_<key>_DIR from user-dirs.dirs ("$HOME/Videos" style values).
std::string UserDir(const char* key, const char* fallbackName) {
  std::string wanted = std::string("XDG_") + key + "_DIR=";
  std::ifstream in(ConfigHome() + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(wanted, 0) != 0) continue;
    std::string value = line.substr(wanted.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = HomeFolder() + value.substr(5);
    if (!value.empty() && value[0] == '/') return StripTrailingSlashes(value);
  }
  return HomeFolder() + "/" + fallbackName;
}

}  // namespace

std::string ProgramFolder() {
  std::lock_guard<std::mutex> lock(g_programFolderMutex);
  if (g_programFolder.empty()) {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string exe = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string(".");
    size_t slash = exe.find_last_of('/');
    g_programFolder = slash == std::string::npos ? "." : (slash == 0 ? "/" : exe.substr(0, slash));
  }
  return g_programFolder;
}

std::string ProgramFolderSlash() {
  std::string folder = ProgramFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void SetProgramFolder(std::string folder) {
  std::lock_guard<std::mutex> lock(g_programFolderMutex);
  g_programFolder = StripTrailingSlashes(std::move(folder));
}

std::string AppDataFolder(std::string_view name) {
  std::string folder = ConfigHome() + "/" + std::string(name);
  // It lists the user's files and choices: made for the user alone.
  if (!CreateFolderTree(FolderOf(folder)) || (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)) return folder;
  // An older one open to others is closed, once per process (this runs for
  // every log line).
  static std::mutex closedMutex;
  static std::string closed;  // guarded by closedMutex
  std::lock_guard<std::mutex> lock(closedMutex);
  struct stat info {};
  if (folder != closed && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    if (info.st_uid == ::getuid() && (info.st_mode & 077) != 0) ::chmod(folder.c_str(), info.st_mode & 07700);
    closed = folder;
  }
  return folder;
}

std::string DocumentsFolder() { return UserDir("DOCUMENTS", "Documents"); }
std::string VideosFolder() { return UserDir("VIDEOS", "Videos"); }

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && tmp[0] == '/') ? tmp : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

namespace {

// This process's private temporary folder. A forked child that runs on
// (and ends through exit) gets a folder of its own and never removes its
// parent's.
std::mutex g_privateTempMutex;
std::string g_privateTemp;  // guarded by g_privateTempMutex; "" until made
pid_t g_privateTempOwner = 0;

void RemovePrivateTempFolder() {
  std::lock_guard<std::mutex> lock(g_privateTempMutex);
  if (!g_privateTemp.empty() && g_privateTempOwner == ::getpid()) RemoveTree(g_privateTemp);
  g_privateTemp.clear();
}

}  // namespace

std::string PrivateTempFolder() {
  std::lock_guard<std::mutex> lock(g_privateTempMutex);
  if (!g_privateTemp.empty() && g_privateTempOwner == ::getpid() && IsDirectory(g_privateTemp))
    return g_privateTemp;
  // The owner's id in the name lets a later start remove the folder of a
  // process that was killed before its exit could (platform/Leftovers.h).
  std::string pattern = MakeOwnedTempFolder(TempFolder(), kProgramTempPrefix);
  if (pattern.empty()) return {};
  static const bool removedAtExit = std::atexit(RemovePrivateTempFolder) == 0;
  (void)removedAtExit;
  g_privateTemp = pattern;
  g_privateTempOwner = ::getpid();
  return g_privateTemp;
}

void RemoveLeftoversOfEndedProcesses() { RemoveTempFoldersOfEndedProcesses(TempFolder()); }

std::string TempFileName(std::string_view extension) {
  if (extension.find('/') != std::string_view::npos || extension.find('\0') != std::string_view::npos) return {};
  std::string folder = PrivateTempFolder();
  if (folder.empty()) return {};
  std::string suffix = extension.empty() ? std::string() : "." + std::string(extension);
  std::string pattern = folder + "/kakaXXXXXX" + suffix;
  int fd = ::mkostemps(pattern.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
  if (fd < 0) return {};
  ::close(fd);
  return pattern;
}

std::string MakeTempFolder(std::string_view prefix) {
  if (prefix.find('/') != std::string_view::npos) return {};
  std::string folder = PrivateTempFolder();
  if (folder.empty()) return {};
  std::string pattern = folder + "/" + std::string(prefix) + "XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void RemoveTree(std::string_view path) {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(path), ignored);
}

bool FileExists(std::string_view path) {
  if (path.empty()) return false;
  struct stat st;
  return ::stat(std::string(path).c_str(), &st) == 0;
}

bool IsDirectory(std::string_view path) {
  struct stat st;
  return !path.empty() && ::stat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint64_t FileSize(std::string_view path) {
  struct stat st;
  if (path.empty() || ::stat(std::string(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

bool CreateFolderTree(std::string_view path) {
  if (path.empty()) return false;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string_view::npos) {
    pos = path.find('/', pos + 1);
    partial = std::string(path.substr(0, pos));
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(path);
}

std::string_view BaseName(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view FolderOf(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

}  // namespace mivora
