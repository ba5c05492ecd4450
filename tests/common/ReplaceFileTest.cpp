// The one writer of files in place: whole text or the old file, the mode
// asked for, nothing left beside.

#include "common/ReplaceFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

size_t EntriesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(ReplaceFile, WritesTheWholeTextWithTheModeAskedFor) {
  const mode_t umaskNow = umask(022);  // a known umask for the new file's mode
  struct Case {
    const char* name;
    mode_t oldMode;  // 0: no old file
    ReplacedFileMode mode;
    mode_t expected;
  } cases[] = {
      {"private over an open file", 0644, ReplacedFileMode::kPrivate, 0600},
      {"private, new", 0, ReplacedFileMode::kPrivate, 0600},
      {"kept group-readable", 0640, ReplacedFileMode::kKeep, 0640},
      {"kept read-only", 0444, ReplacedFileMode::kKeep, 0444},
      {"kept, new: 0666 less the umask", 0, ReplacedFileMode::kKeep, 0644},
  };
  for (const Case& c : cases) {
    const std::string folder = test::MakeTempDir("replace");
    const std::string path = folder + "/file.xml";
    if (c.oldMode) {
      test::WriteFile(path, "old text that is longer than the new");
      chmod(path.c_str(), c.oldMode);
    }
    ASSERT_TRUE(ReplaceFile(path, "new", c.mode)) << c.name;
    EXPECT_EQ(test::ReadFile(path), "new") << c.name;
    EXPECT_EQ(ModeOf(path), c.expected) << c.name;
    EXPECT_EQ(EntriesIn(folder), 1u) << c.name << ": something was left beside";
  }
  umask(umaskNow);
}

TEST(ReplaceFile, AFileThatCannotBeWrittenLeavesTheOldOneAndNothingBeside) {
  const std::string folder = test::MakeTempDir("replace");
  EXPECT_FALSE(ReplaceFile(folder + "/missing/file.xml", "x", ReplacedFileMode::kKeep));
  // A folder in the file's place cannot be renamed over.
  std::filesystem::create_directory(folder + "/taken");
  EXPECT_FALSE(ReplaceFile(folder + "/taken", "x", ReplacedFileMode::kKeep));
  EXPECT_TRUE(std::filesystem::is_directory(folder + "/taken"));
  EXPECT_EQ(EntriesIn(folder), 1u);
}

}  // namespace
}  // namespace mivora
