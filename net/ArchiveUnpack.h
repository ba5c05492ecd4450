#pragma once
// Unpacking a ZIP archive into a folder, refusing anything that could land
// outside it.

#include <string>

namespace mivora {

// Extracts every entry of the archive into `destination` (an existing
// folder). The whole archive is checked before anything is written: an entry
// whose name is absolute, climbs out with "..", or is a symbolic link, more
// than kMaxArchiveEntries entries, or more than kMaxUnpackedBytes in all make
// it fail with nothing written. Files are created new (never through an
// existing link). False, with a reason in `error` when given, on any failure.
bool UnpackArchive(const std::string& archivePath, const std::string& destination,
                   std::string* error = nullptr);

inline constexpr long long kMaxArchiveEntries = 1000;
inline constexpr unsigned long long kMaxUnpackedBytes = 64ull * 1024 * 1024;

}  // namespace mivora
