// libFuzzer target: the engine adapter's reading of the source facts it is
// handed on its command line. Any text is either refused or read into facts
// whose written word reads back to the same facts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/trancor/SourceFactsWord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mivora::trancor;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<ProbedSource> read = ReadSourceFactsWord(text);
  if (!read) return 0;
  const std::string word = WriteSourceFactsWord(*read);
  if (word.find_first_of(" \t\r\n") != std::string::npos) std::abort();
  const std::optional<ProbedSource> again = ReadSourceFactsWord(word);
  if (!again || WriteSourceFactsWord(*again) != word) std::abort();
  return 0;
}
