#include "pipeline/OutputFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "common/Folders.h"
#include "platform/Leftovers.h"

namespace mivora {
namespace {

constexpr size_t kMaxNameBytes = NAME_MAX;
constexpr std::string_view kPartialMarker = ".partial-";

// Cuts `text` to at most `bytes`, never inside a UTF-8 sequence.
std::string CutUtf8(std::string text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

bool NameTaken(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// Reads a positive decimal number without sign or leading zero from the
// start of `text`; 0 when there is none. `rest` gets what follows.
unsigned long LeadingNumber(std::string_view text, std::string_view* rest) {
  unsigned long value = 0;
  if (text.empty() || text[0] == '0') return 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return 0;
  *rest = text.substr(static_cast<size_t>(end - text.data()));
  return value;
}

}  // namespace

std::string PartialOutputPath(const std::string& outputPath) {
  static std::atomic<unsigned> counter{0};
  std::string folder(FolderOf(outputPath));
  std::string name(BaseName(outputPath));
  size_t dot = name.find_last_of('.');
  std::string extension = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
  std::string stem = name.substr(0, name.size() - extension.size());
  if (extension.size() > kMaxNameBytes / 2) extension.clear();  // no real container
  std::string prefix = folder.empty() && outputPath.find('/') == std::string::npos ? "" : folder + "/";
  while (true) {
    std::string marker = std::string(kPartialMarker) + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    size_t room = kMaxNameBytes - 1 - marker.size() - extension.size();
    std::string path = prefix + "." + CutUtf8(stem, room) + marker + extension;
    if (!NameTaken(path)) return path;
  }
}

pid_t OwnerOfPartialName(std::string_view name) {
  // "." stem ".partial-" pid "-" counter, then the extension (".ext") or nothing.
  size_t marker = name.rfind(kPartialMarker);
  if (name.size() < 2 || name[0] != '.' || marker == std::string_view::npos || marker == 0) return 0;
  std::string_view rest;
  unsigned long pid = LeadingNumber(name.substr(marker + kPartialMarker.size()), &rest);
  if (pid == 0 || rest.empty() || rest[0] != '-') return 0;
  if (LeadingNumber(rest.substr(1), &rest) == 0) return 0;
  bool extensionOrNothing = rest.empty() || (rest[0] == '.' && rest.find('.', 1) == std::string_view::npos);
  return extensionOrNothing && pid <= static_cast<unsigned long>(INT_MAX) ? static_cast<pid_t>(pid) : 0;
}

int RemovePartialsOfEndedProcesses(const std::string& folder) {
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) return 0;
  int removed = 0;
  while (dirent* entry = ::readdir(listing)) {
    pid_t owner = OwnerOfPartialName(entry->d_name);
    if (owner == 0 || !ProcessHasEnded(owner)) continue;
    std::string path = folder + "/" + entry->d_name;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(listing);
  return removed;
}

bool PublishOutput(const std::string& partialPath, const std::string& outputPath,
                   bool replaceExisting, std::string* why) {
  int rc;
  if (replaceExisting) {
    rc = ::rename(partialPath.c_str(), outputPath.c_str());
  } else {
    rc = ::renameat2(AT_FDCWD, partialPath.c_str(), AT_FDCWD, outputPath.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without the no-replace rename: check, then rename.
      if (NameTaken(outputPath)) {
        errno = EEXIST;
      } else {
        rc = ::rename(partialPath.c_str(), outputPath.c_str());
      }
    }
  }
  if (rc == 0) return true;
  if (why) {
    *why = errno == EEXIST
               ? "A file of the output's name appeared while converting; it was kept and the "
                 "conversion was discarded."
               : "The finished output could not be given its name: " + std::string(std::strerror(errno)) + ".";
  }
  return false;
}

}  // namespace mivora
