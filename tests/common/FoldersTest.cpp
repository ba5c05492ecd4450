#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
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

// Names of the temporary folder's entries.
std::set<std::string> Entries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

TEST(Folders, TempFileNamesAreCreatedExclusivelyInAPrivateFolder) {
  std::set<std::string> names;
  std::string folder;
  for (int i = 0; i < 50; ++i) {
    std::string name = TempFileName("zip");
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(name.substr(name.size() - 4), ".zip");
    EXPECT_EQ(std::string(BaseName(name)).rfind("kaka", 0), 0u) << name;
    // The name returned is the file created: it exists, empty, the user's alone.
    struct stat file;
    ASSERT_EQ(::lstat(name.c_str(), &file), 0) << name;
    EXPECT_TRUE(S_ISREG(file.st_mode));
    EXPECT_EQ(file.st_size, 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    folder = FolderOf(name);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 50u);
  // Every name lies in one private folder inside the temporary folder, and
  // nothing else was left beside them.
  EXPECT_EQ(FolderOf(folder), TempFolder());
  struct stat dir;
  ASSERT_EQ(::lstat(folder.c_str(), &dir), 0);
  EXPECT_TRUE(S_ISDIR(dir.st_mode));
  EXPECT_EQ(dir.st_mode & 0777, 0700u);
  EXPECT_EQ(dir.st_uid, ::getuid());
  EXPECT_EQ(Entries(folder).size(), 50u);
  for (const std::string& name : names) ::unlink(name.c_str());
  EXPECT_TRUE(TempFileName("a/b").empty()) << "an extension never names another folder";
}

TEST(Folders, NoTemporaryFileOutlivesAProgramThatEndsNormally) {
  std::string tmp = test::MakeTempDir("private-tmp");
  EXPECT_EXIT(
      {
        ::setenv("TMPDIR", tmp.c_str(), 1);
        std::string file = TempFileName("zip");
        std::string other = TempFileName("html");
        test::WriteFile(file, "PK");
        std::exit(file.empty() || other.empty() || !FileExists(file) ? 3 : 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(Entries(tmp).empty()) << *Entries(tmp).begin();
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
