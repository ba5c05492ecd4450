// libFuzzer target: the saved source list read at start-up. Whatever the file
// holds, reading ends with a list or a reason; a list read writes back to a
// text that reads as the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "sources/SavedSourceList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const mivora::SavedListReading read = mivora::ReadSavedSourceList(text);
  if (!read.list) {
    if (read.why.empty()) std::abort();
    return 0;
  }
  if (read.list->entries.size() > mivora::kSavedListMaxItems) std::abort();
  const mivora::SavedListReading again = mivora::ReadSavedSourceList(mivora::WriteSavedSourceList(*read.list));
  if (!again.list || again.list->cleanExit != read.list->cleanExit ||
      again.list->entries != read.list->entries)
    std::abort();
  return 0;
}
