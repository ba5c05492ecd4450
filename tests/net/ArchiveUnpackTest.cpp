#include "net/ArchiveUnpack.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/Folders.h"
#include "tests/net/TestArchive.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

namespace fs = std::filesystem;
using test::ArchiveEntry;

// Every path below `folder`, as relative texts.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    paths.push_back(fs::relative(entry.path(), folder).string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

TEST(ArchiveUnpackTest, UnpacksFilesAndFoldersIntoTheDestination) {
  std::string root = test::MakeTempDir("unpack");
  std::string archive = root + "/good.zip";
  ASSERT_TRUE(test::WriteTestArchive(archive, {{"newver.html", "<html>new</html>"},
                                               {"images/", ""},
                                               {"images/shot.png", "PNG"},
                                               {"./notes.txt", "n"},
                                               {"docs\\win.txt", "w"}}));
  std::string destination = root + "/out";
  ASSERT_TRUE(CreateFolderTree(destination));
  std::string error;
  ASSERT_TRUE(UnpackArchive(archive, destination, &error)) << error;
  EXPECT_EQ(test::ReadFile(destination + "/newver.html"), "<html>new</html>");
  EXPECT_EQ(test::ReadFile(destination + "/images/shot.png"), "PNG");
  EXPECT_EQ(test::ReadFile(destination + "/notes.txt"), "n");
  EXPECT_EQ(test::ReadFile(destination + "/docs/win.txt"), "w");
}

TEST(ArchiveUnpackTest, EntriesLeavingTheFolderRefuseTheWholeArchive) {
  const std::vector<ArchiveEntry> hostile[] = {
      {{"newver.html", "ok"}, {"../escaped.txt", "evil"}},
      {{"newver.html", "ok"}, {"a/../../escaped.txt", "evil"}},
      {{"newver.html", "ok"}, {"..\\escaped.txt", "evil"}},
      {{"newver.html", "ok"}, {"/tmp/escaped.txt", "evil"}},
      {{"newver.html", "ok"}, {"C:/escaped.txt", "evil"}},
      {{"newver.html", "ok"}, {"link", "/etc", true}},
      {{"link", "..", true}, {"link/escaped.txt", "evil"}},
  };
  for (const auto& entries : hostile) {
    SCOPED_TRACE(entries.back().name);
    std::string root = test::MakeTempDir("slip");
    std::string archive = root + "/slip.zip";
    ASSERT_TRUE(test::WriteTestArchive(archive, entries));
    std::string destination = root + "/inner/out";
    ASSERT_TRUE(CreateFolderTree(destination));
    EXPECT_FALSE(UnpackArchive(archive, destination));
    EXPECT_TRUE(Listing(destination).empty()) << "nothing is written, not even the harmless entries";
    EXPECT_EQ(Listing(root), (std::vector<std::string>{"inner", "inner/out", "slip.zip"}));
  }
}

TEST(ArchiveUnpackTest, WhatIsNotAnArchiveFailsCleanly) {
  std::string root = test::MakeTempDir("bad");
  std::string destination = root + "/out";
  ASSERT_TRUE(CreateFolderTree(destination));
  test::WriteFile(root + "/page.zip", "<html><body>Not found</body></html>");
  test::WriteFile(root + "/empty.zip", "");
  std::string error;
  EXPECT_FALSE(UnpackArchive(root + "/page.zip", destination, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(UnpackArchive(root + "/empty.zip", destination));
  EXPECT_FALSE(UnpackArchive(root + "/missing.zip", destination));
  ASSERT_TRUE(test::WriteTestArchive(root + "/good.zip", {{"a.txt", "a"}}));
  EXPECT_FALSE(UnpackArchive(root + "/good.zip", root + "/no-such-folder"));
  EXPECT_TRUE(Listing(destination).empty());
}

TEST(ArchiveUnpackTest, FreshTempFoldersAreNewAndPrivateAndRemovable) {
  std::string a = MakeTempFolder("mivora-newver-");
  std::string b = MakeTempFolder("mivora-newver-");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(PrivateTempFolder() + "/mivora-newver-", 0), 0u);
  EXPECT_EQ(FolderOf(PrivateTempFolder()), TempFolder());
  EXPECT_EQ(fs::status(PrivateTempFolder()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(a).permissions() & fs::perms::all, fs::perms::owner_all);
  test::WriteFile(a + "/x.txt", "x");
  RemoveTree(a);
  RemoveTree(b);
  EXPECT_FALSE(FileExists(a));
  EXPECT_FALSE(FileExists(b));
}

}  // namespace
}  // namespace mivora
