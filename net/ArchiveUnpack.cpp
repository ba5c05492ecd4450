#include "net/ArchiveUnpack.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Folders.h"
#include "common/Log.h"

namespace mivora {
namespace {

struct Entry {
  zip_uint64_t index;
  std::string relativePath;  // '/'-separated, no empty or "." parts
  bool folder;
  zip_uint64_t size;
};

bool Fail(std::string* error, std::string reason) {
  MLOG("UnpackArchive, %s", reason.c_str());
  if (error) *error = std::move(reason);
  return false;
}

// The entry name as a relative path inside the folder ("" for the folder
// itself), or nothing when it would lead outside. Both '/' and '\' separate
// parts (archives made on Windows use either).
std::optional<std::string> SafeRelativePath(std::string_view name, bool* folder) {
  *folder = !name.empty() && (name.back() == '/' || name.back() == '\\');
  if (name.empty() || name[0] == '/' || name[0] == '\\') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;  // a drive letter
  std::string path;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view part = name.substr(start, end - start);
    if (part == ".." || part.find('\0') != std::string_view::npos) return std::nullopt;
    if (!part.empty() && part != ".") {
      if (!path.empty()) path += '/';
      path += part;
    }
    start = end + 1;
  }
  return path;
}

bool IsSymbolicLink(zip_t* archive, zip_uint64_t index) {
  zip_uint8_t system = 0;
  zip_uint32_t attributes = 0;
  if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
  return system == ZIP_OPSYS_UNIX && S_ISLNK(attributes >> 16);
}

bool CheckEntries(zip_t* archive, std::vector<Entry>* entries, std::string* error) {
  zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || count > kMaxArchiveEntries)
    return Fail(error, "too many entries: " + std::to_string(count));
  unsigned long long total = 0;
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0 || !stat.name)
      return Fail(error, "unreadable entry " + std::to_string(i));
    Entry entry{static_cast<zip_uint64_t>(i), {}, false, stat.size};
    std::optional<std::string> path = SafeRelativePath(stat.name, &entry.folder);
    if (!path) return Fail(error, std::string("entry outside the folder: ") + stat.name);
    if (path->empty()) {
      if (entry.folder) continue;  // "./": the folder itself
      return Fail(error, std::string("entry without a name: ") + stat.name);
    }
    entry.relativePath = std::move(*path);
    if (IsSymbolicLink(archive, entry.index)) return Fail(error, std::string("symbolic link: ") + stat.name);
    total += stat.size;
    if (total > kMaxUnpackedBytes) return Fail(error, "unpacked size above the limit");
    entries->push_back(std::move(entry));
  }
  return true;
}

bool WriteEntry(zip_t* archive, const Entry& entry, const std::string& target, std::string* error) {
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> in(zip_fopen_index(archive, entry.index, 0), &zip_fclose);
  if (!in) return Fail(error, "cannot read " + entry.relativePath);
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Fail(error, "cannot create " + target);
  char buffer[16384];
  zip_uint64_t written = 0;
  bool ok = true;
  for (;;) {
    zip_int64_t n = zip_fread(in.get(), buffer, sizeof buffer);
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    written += static_cast<zip_uint64_t>(n);
    if (written > entry.size || ::write(fd, buffer, static_cast<size_t>(n)) != n) { ok = false; break; }
  }
  if (::close(fd) != 0) ok = false;
  if (!ok) return Fail(error, "cannot unpack " + entry.relativePath);
  return true;
}

}  // namespace

bool UnpackArchive(const std::string& archivePath, const std::string& destination, std::string* error) {
  MLOG("Enter: UnpackArchive, %s into %s", archivePath.c_str(), destination.c_str());
  if (!IsDirectory(destination)) return Fail(error, "no destination folder " + destination);
  int code = 0;
  std::unique_ptr<zip_t, void (*)(zip_t*)> archive(zip_open(archivePath.c_str(), ZIP_RDONLY, &code),
                                                   &zip_discard);
  if (!archive) return Fail(error, "not a readable archive: " + archivePath);
  std::vector<Entry> entries;
  if (!CheckEntries(archive.get(), &entries, error)) return false;
  for (const Entry& entry : entries) {
    std::string target = destination + "/" + entry.relativePath;
    std::string folder = entry.folder ? target : std::string(FolderOf(target));
    if (!CreateFolderTree(folder)) return Fail(error, "cannot create " + folder);
    if (!entry.folder && !WriteEntry(archive.get(), entry, target, error)) return false;
  }
  MLOG("Leave: UnpackArchive, %zu entries", entries.size());
  return true;
}

}  // namespace mivora
