// libFuzzer target: unpacking an archive from the network. Whatever the
// bytes, every file written lies inside the destination folder.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/Folders.h"
#include "net/ArchiveUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const std::string root = mivora::MakeTempFolder("mivora-unpack-fuzz-");
  const std::string archive = root + "/input.zip";
  const std::string destination = root + "/out";
  if (FILE* file = std::fopen(archive.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  fs::create_directory(destination);
  mivora::UnpackArchive(archive, destination);
  for (const auto& entry : fs::directory_iterator(root)) {
    std::string name = entry.path().filename();
    if (name != "input.zip" && name != "out") std::abort();
  }
  for (const auto& entry : fs::recursive_directory_iterator(destination))
    if (entry.is_symlink()) std::abort();
  mivora::RemoveTree(destination);
  return 0;
}
