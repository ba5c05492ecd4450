#include "tests/net/TestArchive.h"

#include <sys/stat.h>
#include <zip.h>

namespace mivora::test {

bool WriteTestArchive(const std::string& path, const std::vector<ArchiveEntry>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  for (const ArchiveEntry& entry : entries) {
    zip_source_t* source = zip_source_buffer(archive, entry.contents.data(), entry.contents.size(), 0);
    // zip_file_add cleans names like "../x"; ZIP_FL_ENC_RAW keeps them as hostile archives have them.
    zip_int64_t index = source ? zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_RAW) : -1;
    if (index < 0) {
      zip_source_free(source);
      zip_discard(archive);
      return false;
    }
    if (entry.symbolicLink)
      zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                       static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
  }
  return zip_close(archive) == 0;
}

}  // namespace mivora::test
