#pragma once
// ZIP archives made on the spot for tests, hostile ones included.

#include <string>
#include <vector>

namespace mivora::test {

struct ArchiveEntry {
  std::string name;
  std::string contents;
  bool symbolicLink = false;  // stored as a Unix link whose target is `contents`
};

// Writes the archive to `path`; false when libzip refuses.
bool WriteTestArchive(const std::string& path, const std::vector<ArchiveEntry>& entries);

}  // namespace mivora::test
