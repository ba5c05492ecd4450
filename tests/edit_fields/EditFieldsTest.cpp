// The edit fields by name, driven by their one table: every field comes back
// from a saved list as written, mivora-cli's --edit takes each field at the
// ends of its range and refuses what lies beyond, and a saved list refuses
// the same; a colour reads alike on the command line and from a saved list.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/EditOptions.h"
#include "editing/EditFields.h"

#include "editing/EditSettings.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "sources/SavedSourceList.h"

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

// A value of the field other than a new record's, for each end of its range.
std::vector<std::string> ValuesWithin(const EditField& field) {
  if (field.kind == EditField::Kind::kText) return {"two\nlines \\n = \\ and \xff", "x"};
  return {std::to_string(field.min == 0 ? 1 : field.min), std::to_string(field.max)};
}

std::vector<std::string> ValuesBeyond(const EditField& field) {
  if (field.kind == EditField::Kind::kText) return {};
  return {std::to_string(field.min - 1), std::to_string(field.max + 1)};
}

SavedSourceList ListWith(const EditSettings& edits) {
  SavedSourceList list;
  list.entries.emplace_back();
  list.entries[0].sourcePath = "/v/a.mp4";
  list.entries[0].profilePath = "/p.xml";
  list.entries[0].editSettings = std::make_unique<EditSettings>(edits);
  return list;
}

// The record mivora-cli's edit options make of `args`; nothing when refused.
std::optional<EditSettings> ByEditOptions(const std::vector<std::string>& args) {
  EditSettings edits;
  for (size_t i = 0; i < args.size();) {
    bool matched = false;
    std::string error;
    if (!cli::ParseEditOption(args, &i, &edits, &matched, &error) || !matched) return std::nullopt;
  }
  return edits;
}

TEST(EditFields, EveryFieldComesBackFromASavedListAsWritten) {
  for (const EditField& field : EditFields()) {
    for (const std::string& value : ValuesWithin(field)) {
      EditSettings edits;
      ASSERT_TRUE(SetEditField(&edits, field, value)) << field.name << " " << value;
      SavedListReading read = ReadSavedSourceList(WriteSavedSourceList(ListWith(edits)));
      ASSERT_TRUE(read.list) << field.name << " " << value << ": " << read.why;
      const EditSettings& back = *read.list->entries.at(0).editSettings;
      EXPECT_EQ(EditFieldText(back, field), value) << field.name;
      EXPECT_TRUE(SameEditFields(back, edits)) << field.name << ": another field changed";
    }
  }
}

TEST(EditFields, TheCommandLineTakesEveryFieldWithinItsRangeAndNothingBeyond) {
  for (const EditField& field : EditFields()) {
    for (const std::string& value : ValuesWithin(field)) {
      std::optional<EditSettings> edits = ByEditOptions({"--edit", std::string(field.name) + "=" + value});
      ASSERT_TRUE(edits) << field.name << "=" << value;
      EXPECT_EQ(EditFieldText(*edits, field), value) << field.name;
    }
    for (const std::string& value : ValuesBeyond(field))
      EXPECT_FALSE(ByEditOptions({"--edit", std::string(field.name) + "=" + value})) << field.name << "=" << value;
  }
  EXPECT_FALSE(ByEditOptions({"--edit", "nosuchfield=1"}));
  EXPECT_FALSE(ByEditOptions({"--edit", "brightness"}));
}

TEST(EditFields, ASavedListWithAValueBeyondItsFieldIsRefused) {
  for (const EditField& field : EditFields()) {
    const std::string written = WriteSavedSourceList(ListWith(EditSettings()));
    const std::string line = "edit." + std::string(field.name) + " ";
    const size_t at = written.find(line);
    ASSERT_NE(at, std::string::npos) << field.name << " is not written";
    for (const std::string& value : ValuesBeyond(field)) {
      std::string text = written;
      text.replace(at + line.size(), text.find('\n', at) - at - line.size(), value);
      EXPECT_FALSE(ReadSavedSourceList(text).list) << field.name << " " << value;
    }
  }
}

// The options named after what they do keep to the same ranges.
TEST(EditFields, NamedOptionsKeepToTheFieldsRanges) {
  const struct {
    std::vector<std::string> args;
    bool taken;
  } rows[] = {
      {{"--brightness", "-100", "--contrast", "200", "--saturation", "0"}, true},
      {{"--brightness", "101"}, false},
      {{"--contrast", "-1"}, false},
      {{"--saturation", "201"}, false},
      {{"--text-alpha", "255", "--3d-depth", "-50", "--text-size", "1"}, true},
      {{"--text-alpha", "256"}, false},
      {{"--3d-depth", "51"}, false},
      {{"--text-size", "0"}, false},
      {{"--crop", "0,0,10,10", "--text-pos", "-5,7", "--picture-pos", "3,-4"}, true},
      {{"--crop", "-1,0,10,10"}, false},
      {{"--crop", "0,0,10"}, false},
      {{"--text-pos", "1,2,3"}, false},
      {{"--text-color", "ffeedd"}, true},
      {{"--text-color", "-fffff"}, false},
      {{"--text-color", "fffffff"}, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ByEditOptions(row.args).has_value(), row.taken) << row.args[0] << " " << row.args[1];
  std::optional<EditSettings> placed = ByEditOptions({"--text-pos", "-5,7", "--text-color", "ffeedd"});
  ASSERT_TRUE(placed);
  EXPECT_EQ(placed->textLeft, -5);
  EXPECT_EQ(placed->textTop, 7);
  EXPECT_EQ(placed->textColor, 0xDDEEFFu);
}

}  // namespace
}  // namespace mivora
