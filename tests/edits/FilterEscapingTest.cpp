#include <gtest/gtest.h>

#include "editing/FilterEscaping.h"

namespace mivora {
namespace {

TEST(FilterEscaping, PathsKeepTheirFamiliarFormAndRoundTrip) {
  EXPECT_EQ(EscapeFilterPath("D:\\Fonts\\arial.ttf"), "D#$Fonts$arial.ttf");
  EXPECT_EQ(EscapeFilterPath("/usr/share/fonts/a b.ttf"), "/usr/share/fonts/a b.ttf");
  const char* paths[] = {
      "D:\\Fonts\\arial.ttf", "/tmp/#1 $HOME/logo.png", "/tmp/50% off/it's \"ok\", [x];y.png",
      "/tmp/Größe/ファイル.png", "/tmp/%23literal", "/tmp/tab\there",
  };
  for (const char* path : paths) {
    std::string escaped = EscapeFilterPath(path);
    EXPECT_EQ(UnescapeFilterPath(escaped), path) << escaped;
    // Nothing left that the chain or the command line would act on.
    EXPECT_EQ(escaped.find_first_of("\"',;[]:\\\t"), std::string::npos) << escaped;
  }
}

TEST(FilterEscaping, TextsRoundTripAndPlainTextsStayAsTheyAre) {
  EXPECT_EQ(EncodeFilterText("Hello World 2026"), "Hello World 2026");
  const char* texts[] = {"it's", "a:b\\c", "100%", "\"quoted\"", "x,y;z[1]", "Käse 🎬", "%41"};
  for (const char* text : texts) {
    std::string encoded = EncodeFilterText(text);
    EXPECT_EQ(DecodeFilterText(encoded), text) << encoded;
    EXPECT_EQ(encoded.find_first_of("\"',;[]:\\"), std::string::npos) << encoded;
  }
  EXPECT_EQ(DecodeFilterText("50%"), "50%");  // a lone percent sign stays
}

}  // namespace
}  // namespace mivora
