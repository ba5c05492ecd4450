// libFuzzer target: Windows-style command lines. Quoting any argument and
// splitting the result must give that argument back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/WindowsCommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  (void)mivora::SplitWindowsCommandLine(text);
  (void)mivora::SplitWindowsArguments(text);
  if (text.find('\0') == std::string::npos) {
    std::string line = "program " + mivora::QuoteWindowsArgument(text);
    std::vector<std::string> args = mivora::SplitWindowsCommandLine(line);
    if (args.size() != 2 || args[1] != text) std::abort();
  }
  return 0;
}
