#include <gtest/gtest.h>

#include "common/Folders.h"
#include "editing/FontLookup.h"

namespace mivora {
namespace {

TEST(FindFontFile, AlwaysAnExistingFile) {
  for (const char* face : {"Arial", "", "DejaVu Sans", "No Such Face 12345", "a:b-c,d\\e"}) {
    std::string file = FindFontFile(face);
    EXPECT_TRUE(FileExists(file)) << face << " -> " << file;
  }
}

TEST(FindFontFile, ArialFallsBackToAMetricCompatibleFont) {
  std::string file = FindFontFile("Arial");
  // fonts-liberation2 is installed by the set-up script.
  EXPECT_NE(file.find("Liberation"), std::string::npos) << file;
  EXPECT_NE(FindFontFile("DejaVu Sans").find("DejaVuSans"), std::string::npos);
}

}  // namespace
}  // namespace mivora
