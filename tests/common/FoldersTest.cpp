#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "common/Folders.h"
#include "common/Log.h"
#include "common/PrivateFiles.h"
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

int ModeOf(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// The per-user folder lists the user's files: made for the user alone, and an
// older one that others could read is closed to them.
TEST(Folders, ThePerUserFolderIsTheUsersAlone) {
  const std::string saved = std::getenv("XDG_CONFIG_HOME");
  for (const bool older : {false, true}) {
    const std::string home = test::MakeTempDir("config-home");
    if (older) {
      ASSERT_TRUE(CreateFolderTree(home + "/Mivora"));
      chmod((home + "/Mivora").c_str(), 0755);
    }
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    EXPECT_EQ(AppDataFolder("Mivora"), home + "/Mivora");
    EXPECT_EQ(ModeOf(home + "/Mivora"), 0700) << (older ? "an older folder" : "a new folder");
    // The log, made there, is the user's alone too.
    ResetLogForNewRun();
    MLOG("private");
    EXPECT_EQ(ModeOf(LogFilePath()), 0600);
  }
  setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

TEST(Folders, TighteningTakesOthersOffEverythingButLinks) {
  const std::string folder = test::MakeTempDir("tighten");
  const std::string outside = test::MakeTempDir("outside") + "/shared.txt";
  test::WriteFile(outside, "x");
  chmod(outside.c_str(), 0644);
  ASSERT_TRUE(CreateFolderTree(folder + "/Profiles/Group"));
  test::WriteFile(folder + "/Log.txt", "x");
  test::WriteFile(folder + "/Profiles/Group/a.xml", "x");
  ASSERT_EQ(symlink(outside.c_str(), (folder + "/link").c_str()), 0);
  for (const char* path : {"", "/Profiles", "/Profiles/Group"}) chmod((folder + path).c_str(), 0777);
  for (const char* path : {"/Log.txt", "/Profiles/Group/a.xml"}) chmod((folder + path).c_str(), 0666);
  TightenPrivateTree(folder);
  for (const char* path : {"", "/Profiles", "/Profiles/Group"}) EXPECT_EQ(ModeOf(folder + path), 0700) << path;
  for (const char* path : {"/Log.txt", "/Profiles/Group/a.xml"}) EXPECT_EQ(ModeOf(folder + path), 0600) << path;
  EXPECT_EQ(ModeOf(outside), 0644) << "a link was followed";
}

TEST(Folders, AReplacedFileIsTheUsersAloneAndNothingIsLeftBeside) {
  const std::string folder = test::MakeTempDir("replace");
  const std::string path = folder + "/config.xml";
  test::WriteFile(path, "old");
  chmod(path.c_str(), 0644);
  ASSERT_TRUE(ReplacePrivateFile(path, "new text"));
  EXPECT_EQ(test::ReadFile(path), "new text");
  EXPECT_EQ(ModeOf(path), 0600);
  EXPECT_EQ(Entries(folder), std::set<std::string>{"config.xml"});
  EXPECT_FALSE(ReplacePrivateFile(folder + "/missing/config.xml", "x"));
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
