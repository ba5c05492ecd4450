#include <gtest/gtest.h>

#include <set>

#include "common/Folders.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

TEST(Folders, ProgramFolderSlashHasExactlyOneSlash) {
  SetProgramFolder("/opt/mivora///");
  EXPECT_EQ(ProgramFolder(), "/opt/mivora");
  EXPECT_EQ(ProgramFolderSlash(), "/opt/mivora/");
  SetProgramFolder(MIVORA_PROGRAM_DIR);
}

TEST(Folders, PerUserFoldersFollowXdgAndStayInTheTestRoot) {
  std::string folder = AppDataFolder("Mivora");
  EXPECT_EQ(folder, test::TestRoot() + "/config/Mivora");
  EXPECT_TRUE(IsDirectory(folder));
  EXPECT_EQ(TempFolder(), test::TestRoot() + "/tmp");
  EXPECT_EQ(DocumentsFolder(), test::TestRoot() + "/home/Documents");

  test::WriteFile(test::TestRoot() + "/config/user-dirs.dirs",
                  "# comment\nXDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
  EXPECT_EQ(VideosFolder(), test::TestRoot() + "/home/Filme");
}

TEST(Folders, TempFileNamesAreNewAndDistinct) {
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    std::string name = TempFileName("png");
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.rfind(TempFolder() + "/kaka", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".png");
    // The reserved empty file stays on disk, so no later call picks the name.
    EXPECT_TRUE(FileExists(name.substr(0, name.size() - 4)));
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
}

TEST(Folders, FileQueries) {
  std::string dir = test::MakeTempDir("files");
  std::string file = dir + "/clip ä #$.avi";
  test::WriteFile(file, std::string(12345, 'x'));
  EXPECT_TRUE(FileExists(file));
  EXPECT_TRUE(FileExists(dir));
  EXPECT_FALSE(FileExists(""));
  EXPECT_FALSE(FileExists(dir + "/missing"));
  EXPECT_EQ(FileSize(file), 12345u);
  EXPECT_EQ(FileSize(dir + "/missing"), 0u);
  EXPECT_EQ(FileSize(dir), 0u);
}

TEST(Folders, CreateFolderTreeMakesEveryLevel) {
  std::string deep = test::MakeTempDir("tree") + "/a/b/c d/é";
  EXPECT_TRUE(CreateFolderTree(deep));
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_TRUE(CreateFolderTree(deep));  // already there
  std::string file = test::MakeTempDir("tree") + "/plain";
  test::WriteFile(file, "x");
  EXPECT_FALSE(CreateFolderTree(file + "/below"));
}

TEST(Folders, BaseNameAndFolderOf) {
  EXPECT_EQ(BaseName("/a/b/clip.avi"), "clip.avi");
  EXPECT_EQ(BaseName("clip.avi"), "clip.avi");
  EXPECT_EQ(FolderOf("/a/b/clip.avi"), "/a/b");
  EXPECT_EQ(FolderOf("clip.avi"), "");
}

}  // namespace
}  // namespace mivora
