// libFuzzer target: XML documents over arbitrary bytes; whatever loads must
// save to a text that loads again, saves identically and keeps one element
// per line for the line reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "profiles/EngineArguments.h"
#include "profiles/XmlDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  mivora::XmlDocument document;
  if (document.LoadText(text)) {
    document.Root().SelectChild("AudioBitrate", true).SetAttribute("value", "128");
    document.Root().AppendText("\r\n    ");
    std::string saved = document.SaveText();
    mivora::XmlDocument again;
    if (!again.LoadText(saved) || again.SaveText() != saved) {
      std::fprintf(stderr, "saved:\n%s\nagain (%s):\n%s\n", saved.c_str(), again.Error().c_str(),
                   again.SaveText().c_str());
      std::abort();
    }
  }
  // The finishing steps take any text too.
  (void)mivora::FinishEngineArguments(text, "4:3");
  return 0;
}
