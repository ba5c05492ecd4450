#include "pipeline/OutputFiles.h"

#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "common/Folders.h"

namespace mivora {
namespace {

constexpr size_t kMaxNameBytes = NAME_MAX;

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
    std::string marker = ".partial-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    size_t room = kMaxNameBytes - 1 - marker.size() - extension.size();
    std::string path = prefix + "." + CutUtf8(stem, room) + marker + extension;
    if (!NameTaken(path)) return path;
  }
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
