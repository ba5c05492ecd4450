// libFuzzer target: the engine adapter's reading of an edit chain. Any text
// is either refused or turned into a graph; escaped texts and paths decode
// back to what was encoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "editing/FilterEscaping.h"
#include "tools/trancor/EditGraph.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  mivora::trancor::EditGraph graph = mivora::trancor::BuildEditGraph(text, std::nullopt);
  if (!graph.ok && graph.error.empty()) std::abort();
  if (mivora::DecodeFilterText(mivora::EncodeFilterText(text)) != text) std::abort();
  if (mivora::UnescapeFilterPath(mivora::EscapeFilterPath(text)) != text) std::abort();
  return 0;
}
