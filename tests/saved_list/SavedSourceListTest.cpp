// The saved source list: what is written comes back exactly, whatever the
// names hold; anything broken or newer is refused as a whole; the file on
// disk is replaced, never half written.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"
#include "sources/SavedSourceList.h"

namespace mivora {
namespace {

SavedSourceList TwoItems() {
  SavedSourceList list;
  SavedSourceEntry plain;
  plain.sourcePath = "/videos/a.mp4";
  plain.profilePath = "/profiles/General Video/AVI.xml";
  plain.listIndices = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  SavedSourceEntry edited;
  edited.sourcePath = "/videos/line\nbreak \\ back\rslash \xff.mkv";
  edited.profilePath = "/profiles/MP4.xml";
  edited.profileId = 7;
  edited.targetExtension = "mp4";
  edited.engineArgs = "-vcodec libx264 -b 1200k \\ \n ";
  edited.videoBitrateBps = 1228800;
  edited.estimatedSize = "3.2 MB";
  edited.editSettings = std::make_unique<EditSettings>();
  edited.editSettings->trimEnabled = 1;
  edited.editSettings->trimStart = 5;
  edited.editSettings->trimEnd = 12;
  edited.editSettings->brightness = -40;
  edited.editSettings->watermarkText = "two\nlines \\n not an escape";
  edited.editSettings->picturePath = "/pics/logo.png";
  edited.editSettings->textColor = 0xFFEEDDu;
  list.entries = {plain, edited};
  return list;
}

TEST(SavedSourceList, ComesBackExactlyAsWritten) {
  for (bool clean : {false, true}) {
    SavedSourceList list = TwoItems();
    list.cleanExit = clean;
    const std::string text = WriteSavedSourceList(list);
    SavedListReading read = ReadSavedSourceList(text);
    ASSERT_TRUE(read.list) << read.why;
    EXPECT_EQ(read.list->cleanExit, clean);
    ASSERT_EQ(read.list->entries.size(), 2u);
    EXPECT_EQ(read.list->entries[0], list.entries[0]);
    EXPECT_EQ(read.list->entries[1], list.entries[1]);
    EXPECT_FALSE(read.list->entries[0].editSettings);
    EXPECT_EQ(read.list->entries[1].editSettings->watermarkText, "two\nlines \\n not an escape");
    EXPECT_EQ(WriteSavedSourceList(*read.list), text);
  }
  SavedListReading empty = ReadSavedSourceList(WriteSavedSourceList({}));
  ASSERT_TRUE(empty.list);
  EXPECT_TRUE(empty.list->entries.empty());
}

TEST(SavedSourceList, RefusesNewerBrokenOrCutFilesAsAWhole) {
  const std::string good = WriteSavedSourceList(TwoItems());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const struct {
    std::string text;
    const char* why;
  } rows[] = {
      {"", "empty"},
      {"<config/>\n", "another file"},
      {replaced("MIVORA-LIST 1", "MIVORA-LIST 2"), "newer"},
      {replaced("MIVORA-LIST 1", "MIVORA-LIST x"), "broken version"},
      {good.substr(0, good.size() - 1), "cut in its last line"},
      {good.substr(0, good.rfind("item\n")), "cut before the last item"},
      {good.substr(0, good.rfind("end\n")), "cut inside an item"},
      {replaced("clean 0", "clean 2"), "a broken exit mark"},
      {replaced("path /videos/a.mp4\n", ""), "an item without a file"},
      {replaced("profile /profiles/MP4.xml\n", ""), "an item without a profile"},
      {replaced("indices 1 2 3 4 5 6 7 8 9 10", "indices 1 2 3"), "too few indices"},
      {replaced("indices 1 2 3 4 5 6 7 8 9 10", "indices 1 2 3 4 5 6 7 8 9 10 11"), "too many indices"},
      {replaced("indices 1", "indices -1"), "a negative index"},
      {replaced("edit.trimStart 5", "edit.trimStart 99999999999"), "a number out of range"},
      {replaced("edit.trimStart 5", "edit.nonsense 5"), "an unknown field"},
      {replaced("edit.picturePath /pics", "edit.picturePath \\x/pics"), "a broken escape"},
      {replaced("edits\n", ""), "edit fields without edits"},
      {good + "garbage\n", "a line after the count"},
      {replaced("count 2", "count 3"), "a wrong count"},
  };
  for (const auto& row : rows) {
    SavedListReading read = ReadSavedSourceList(row.text);
    EXPECT_FALSE(read.list) << row.why;
    EXPECT_FALSE(read.why.empty()) << row.why;
  }
  EXPECT_NE(ReadSavedSourceList(replaced("MIVORA-LIST 1", "MIVORA-LIST 2")).why.find("newer"), std::string::npos);
}

TEST(SavedSourceList, TheFileIsReplacedWholeOrLeftAlone) {
  const std::string folder = test::MakeTempDir("saved");
  const std::string path = folder + "/SourceList.txt";
  ASSERT_TRUE(SaveSourceListFile(path, TwoItems()));
  SavedSourceList one = TwoItems();
  one.entries.pop_back();
  one.cleanExit = true;
  ASSERT_TRUE(SaveSourceListFile(path, one));
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  SavedListReading read = ReadSavedSourceList(text.str());
  ASSERT_TRUE(read.list) << read.why;
  EXPECT_EQ(read.list->entries.size(), 1u);
  EXPECT_TRUE(read.list->cleanExit);
  // Nothing beside it, and nobody but the user may read the user's files.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // A folder that cannot be written keeps what was there.
  EXPECT_FALSE(SaveSourceListFile(folder + "/missing/SourceList.txt", one));
}

// Two writers at once (two programs, or a save racing a clean exit) each
// write through a name of their own: every save lands whole, none fails
// because the other took its file, and nothing is left beside the list.
TEST(SavedSourceList, WritersAtOnceNeverMixTheirFiles) {
  const std::string folder = test::MakeTempDir("racing");
  const std::string path = folder + "/SourceList.txt";
  std::atomic<int> failed{0}, broken{0};
  std::atomic<bool> writing{true};
  auto writer = [&](size_t items) {
    SavedSourceList list = TwoItems();
    while (list.entries.size() < items) list.entries.push_back(list.entries.front());
    for (int i = 0; i < 200; ++i)
      if (!SaveSourceListFile(path, list)) ++failed;
  };
  std::thread reader([&] {
    while (writing) {
      std::stringstream text;
      text << std::ifstream(path).rdbuf();
      if (!text.str().empty() && !ReadSavedSourceList(text.str()).list) ++broken;
    }
  });
  std::thread one(writer, 2), two(writer, 50);
  one.join();
  two.join();
  writing = false;
  reader.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(broken.load(), 0);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files += entry.path() != path;
  EXPECT_EQ(files, 0u) << "temporary files left beside the list";
}

}  // namespace
}  // namespace mivora
