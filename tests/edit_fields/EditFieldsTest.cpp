// The edit fields by name: a colour given to mivora-cli reads as the same
// colour from a saved list, and a text either refuses reads as refused by both.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "editing/EditSettings.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "windowmodels/SavedSourceList.h"

namespace mivora {
namespace {

const std::string kCli = std::string(MIVORA_PROGRAM_DIR) + "/mivora-cli";
const std::string kAvi = std::string(MIVORA_PROGRAM_DIR) + "/Profiles/General Video/AVI - MPEG-4 Video.xml";

// The "fontcolor=..." piece of an edit chain; "" when there is none.
std::string FontColour(const std::string& arguments) {
  const size_t at = arguments.find("fontcolor=");
  if (at == std::string::npos) return "";
  return arguments.substr(at, arguments.find(':', at) - at);
}

// The text colour as mivora-cli reads `text`: its fontcolor piece, or nothing when refused.
std::optional<std::string> ColourByCli(const std::string& text) {
  test::CommandResult r = test::RunCommand({kCli, "args", kAvi, "--edit", "textEnabled=1", "--edit",
                                            "watermarkText=Hi", "--edit", "fontFile=/f.ttf", "--edit",
                                            "textColor=" + text});
  if (r.exitCode != 0) return std::nullopt;
  return FontColour(r.output);
}

// The text colour as a saved list holding `text` reads it.
std::optional<std::string> ColourBySavedList(const std::string& text) {
  const std::string file = "MIVORA-LIST 1\nclean 0\nitem\npath /v/a.mp4\nprofile /p.xml\nedits\n"
                           "edit.textEnabled 1\nedit.watermarkText Hi\nedit.fontFile /f.ttf\nedit.textColor " + text +
                           "\nend\ncount 1\n";
  SavedListReading read = ReadSavedSourceList(file);
  if (!read.list) return std::nullopt;
  return FontColour(read.list->entries.at(0).editSettings->BuildEditArguments());
}

TEST(EditFields, TextColourReadsAlikeOnTheCommandLineAndFromASavedList) {
  const struct {
    const char* text;
    const char* colour;  // nullptr: refused
  } rows[] = {
      {"0", "fontcolor=00000000"},
      {"16772829", "fontcolor=ddeeff00"},  // 0x00FFEEDD, as the program writes it
      {"16777215", "fontcolor=ffffff00"},
      {"0xFFEEDD", "fontcolor=ddeeff00"},
      {"010", "fontcolor=0a000000"},  // decimal, never octal
      {"16777216", nullptr},          // more than blue, green and red
      {"4294967295", nullptr},
      {"-1", nullptr},
      {"", nullptr},
      {"12abc", nullptr},
      {"+5", nullptr},
  };
  for (const auto& row : rows) {
    const std::optional<std::string> expected =
        row.colour ? std::optional<std::string>(row.colour) : std::nullopt;
    EXPECT_EQ(ColourBySavedList(row.text), expected) << "saved list, textColor " << row.text;
    EXPECT_EQ(ColourByCli(row.text), expected) << "mivora-cli, textColor " << row.text;
  }
}

}  // namespace
}  // namespace mivora
