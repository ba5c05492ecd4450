#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "profiles/ProfileCatalog.h"
#include "profiles/ProfileFolder.h"
#include "profiles/ProfileMenu.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

std::string MakeProfiles(const std::vector<std::string>& relativePaths) {
  std::string folder = test::MakeTempDir("Profiles");
  for (const auto& relative : relativePaths) {
    mkdir((folder + "/" + relative.substr(0, relative.find('/'))).c_str(), 0755);
    test::WriteFile(folder + "/" + relative, "<P>\n<FormatExt value=\"x\"/>\n</P>\n");
  }
  return folder;
}

std::map<std::string, int32_t> IdsOf(const ProfileCatalog& catalog) {
  std::map<std::string, int32_t> ids;
  for (const auto& entry : catalog.All()) ids[entry.relativePath] = entry.id;
  return ids;
}

TEST(ProfileCatalog, GroupsAndOrder) {
  std::string folder = MakeProfiles({"b Group/z.xml", "b Group/a.xml", "A Group/m.xml",
                                     "A Group/notes.txt", "Empty/.xml", "Tab\tGroup/x.xml"});
  test::WriteFile(folder + "/loose.xml", "");
  mkdir((folder + "/A Group/deeper").c_str(), 0755);
  test::WriteFile(folder + "/A Group/deeper/d.xml", "");
  ProfileIdTable ids;
  ProfileCatalog catalog = ProfileCatalog::Scan(folder, ids);
  ASSERT_EQ(catalog.Groups().size(), 2u);
  EXPECT_EQ(catalog.Groups()[0].name, "A Group");
  EXPECT_EQ(catalog.Groups()[1].name, "b Group");
  std::vector<std::string> names;
  for (const auto& entry : catalog.All()) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"m", "a", "z"}));
  const ProfileEntry& a = catalog.Groups()[1].profiles[0];
  EXPECT_EQ(a.relativePath, "b Group/a.xml");
  EXPECT_EQ(a.path, folder + "/b Group/a.xml");
  EXPECT_EQ(a.id, ProfileIdFromPath("b Group/a.xml"));
  EXPECT_EQ(catalog.FindById(a.id), catalog.FindByRelativePath("b Group/a.xml"));
  EXPECT_EQ(catalog.FindById(-1), nullptr);
}

TEST(ProfileCatalog, IdentifiersStayWhenProfilesComeAndGo) {
  std::string user = test::MakeTempDir("user");
  std::string folder = MakeProfiles({"G/a.xml", "G/b.xml", "H/c.xml"});
  std::map<std::string, int32_t> before;
  {
    ProfileIdTable ids(user + "/profile-ids.txt");
    before = IdsOf(ProfileCatalog::Scan(folder, ids));
  }
  MakeProfiles({});
  test::WriteFile(folder + "/G/0 new.xml", "");
  unlink((folder + "/G/b.xml").c_str());
  ProfileIdTable ids(user + "/profile-ids.txt");
  auto after = IdsOf(ProfileCatalog::Scan(folder, ids));
  EXPECT_EQ(after.at("G/a.xml"), before.at("G/a.xml"));
  EXPECT_EQ(after.at("H/c.xml"), before.at("H/c.xml"));
  // A profile that comes back gets its old number.
  test::WriteFile(folder + "/G/b.xml", "");
  EXPECT_EQ(IdsOf(ProfileCatalog::Scan(folder, ids)).at("G/b.xml"), before.at("G/b.xml"));
  // Without the table the numbers follow from the paths alone.
  ProfileIdTable fresh;
  EXPECT_EQ(IdsOf(ProfileCatalog::Scan(folder, fresh)), IdsOf(ProfileCatalog::Scan(folder, ids)));
}

TEST(ProfileCatalog, CollisionTakesTheNextFreeNumberAndKeepsIt) {
  std::string user = test::MakeTempDir("user");
  int32_t wanted = ProfileIdFromPath("G/new.xml");
  // An older profile already holds the number the new one would get.
  test::WriteFile(user + "/profile-ids.txt",
                  std::to_string(wanted) + "\tG/old.xml\nbroken line\n-5\tG/neg.xml\n");
  std::string folder = MakeProfiles({"G/old.xml", "G/new.xml"});
  {
    ProfileIdTable ids(user + "/profile-ids.txt");
    auto found = IdsOf(ProfileCatalog::Scan(folder, ids));
    EXPECT_EQ(found.at("G/old.xml"), wanted);
    EXPECT_EQ(found.at("G/new.xml"), wanted + 1);
  }
  // Removing the older profile does not renumber the newer one.
  unlink((folder + "/G/old.xml").c_str());
  ProfileIdTable ids(user + "/profile-ids.txt");
  EXPECT_EQ(IdsOf(ProfileCatalog::Scan(folder, ids)).at("G/new.xml"), wanted + 1);
}

class FakeView : public ProfileMenuView {
 public:
  std::optional<int32_t> answer;
  int32_t shownCurrent = -1;
  size_t shownGroups = 0;
  int x = 0, y = 0;
  std::optional<int32_t> Pick(const std::vector<ProfileGroup>& groups, int32_t currentId, int atX,
                              int atY) override {
    shownGroups = groups.size();
    shownCurrent = currentId;
    x = atX;
    y = atY;
    return answer;
  }
};

TEST(ProfileMenu, FiveOperations) {
  std::string folder = MakeProfiles({"Audio/MP3.xml", "General Video/AVI - Audio Video Interleaved.xml",
                                     "General Video/MP4.xml"});
  auto view = std::make_shared<FakeView>();
  std::vector<std::pair<uint64_t, unsigned>> posted;
  ProfileMenu menu(view, [&](uint64_t window, unsigned message) { posted.emplace_back(window, message); },
                   folder);
  CurrentProfile current;
  EXPECT_FALSE(menu.Current(&current));  // not prepared
  ASSERT_TRUE(menu.Prepare(42, test::MakeTempDir("user")));
  ASSERT_TRUE(menu.Current(&current));
  EXPECT_EQ(current.path, folder + "/General Video/AVI - Audio Video Interleaved.xml");
  EXPECT_EQ(current.name, "AVI - Audio Video Interleaved");
  EXPECT_EQ(current.id, ProfileIdFromPath("General Video/AVI - Audio Video Interleaved.xml"));

  int32_t mp3 = ProfileIdFromPath("Audio/MP3.xml");
  EXPECT_TRUE(menu.Select(mp3));
  ASSERT_TRUE(menu.Current(&current));
  EXPECT_EQ(current.name, "MP3");
  EXPECT_FALSE(menu.Select(12345));
  ASSERT_TRUE(menu.Current(&current));
  EXPECT_EQ(current.id, mp3);

  // Dismissed menu: nothing changes, nothing is posted.
  EXPECT_FALSE(menu.Show(42, 10, 20, kProfileChosenMessage));
  EXPECT_EQ(view->shownCurrent, mp3);
  EXPECT_EQ(view->shownGroups, 2u);
  EXPECT_EQ(view->x, 10);
  EXPECT_EQ(view->y, 20);
  EXPECT_TRUE(posted.empty());
  // A profile added meanwhile is offered, and picking it posts the message.
  test::WriteFile(folder + "/Audio/AAC.xml", "");
  view->answer = ProfileIdFromPath("Audio/AAC.xml");
  EXPECT_TRUE(menu.Show(42, 0, 0, kProfileChosenMessage));
  EXPECT_EQ(posted, (std::vector<std::pair<uint64_t, unsigned>>{{42, 0x500}}));
  ASSERT_TRUE(menu.Current(&current));
  EXPECT_EQ(current.name, "AAC");

  menu.Release();
  EXPECT_FALSE(menu.Current(&current));
  EXPECT_FALSE(menu.Show(42, 0, 0, kProfileChosenMessage));
}

TEST(ProfileMenu, WithoutTheInitialProfileStartsOnTheFirstAndWithoutAnyHasNone) {
  ProfileMenu menu(nullptr, nullptr, MakeProfiles({"B/x.xml", "A/y.xml"}));
  ASSERT_TRUE(menu.Prepare(0, ""));
  CurrentProfile current;
  ASSERT_TRUE(menu.Current(&current));
  EXPECT_EQ(current.name, "y");
  ProfileMenu empty(nullptr, nullptr, test::MakeTempDir("none"));
  EXPECT_FALSE(empty.Prepare(0, ""));
  EXPECT_FALSE(empty.Current(&current));
}

TEST(ProfileFolder, WritableProgramFolderIsServedItself) {
  std::string program = MakeProfiles({"G/a.xml"});
  EXPECT_TRUE(ProfilesFolderWritable(program));
  EXPECT_EQ(ServedProfilesFolder(program, test::MakeTempDir("user")), program);
  EXPECT_FALSE(ProfilesFolderWritable(program + "/missing"));
}

// Runs `body` as an unprivileged user when the tests run as root (root may
// write anywhere), so that a read-only program folder is read-only.
int RunUnprivileged(const std::function<int()>& body) {
  if (geteuid() != 0) return body();
  pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST(ProfileFolder, ReadOnlyProgramFolderIsServedThroughASeededUserCopy) {
  std::string program = MakeProfiles({"G/a.xml", "G/b.xml", "H/c.xml"});
  std::string user = test::MakeTempDir("user");
  chmod(test::TestRoot().c_str(), 0755);
  mkdir((user + "/Profiles").c_str(), 0777);
  mkdir((user + "/Profiles/G").c_str(), 0777);
  for (const char* path : {"", "/Profiles", "/Profiles/G"}) chmod((user + path).c_str(), 0777);
  // The user's own changed copy of a.xml must survive.
  test::WriteFile(user + "/Profiles/G/a.xml", "mine");
  chmod((user + "/Profiles/G/a.xml").c_str(), 0666);
  for (const char* path : {"", "/G", "/H"}) chmod((program + path).c_str(), 0555);
  int result = RunUnprivileged([&] {
    if (ProfilesFolderWritable(program)) return 1;
    std::string served = ServedProfilesFolder(program, user);
    if (served != user + "/Profiles") return 2;
    if (test::ReadFile(served + "/G/a.xml") != "mine") return 3;
    if (test::ReadFile(served + "/G/b.xml").empty()) return 4;
    if (test::ReadFile(served + "/H/c.xml").empty()) return 6;
    if (access((served + "/H/c.xml").c_str(), W_OK) != 0) return 5;
    // The copies are the user's alone.
    struct stat info {};
    if (stat((served + "/H/c.xml").c_str(), &info) != 0 || (info.st_mode & 0777) != 0600) return 7;
    if (stat((served + "/H").c_str(), &info) != 0 || (info.st_mode & 0777) != 0700) return 8;
    return 0;
  });
  for (const char* path : {"", "/G", "/H"}) chmod((program + path).c_str(), 0755);
  EXPECT_EQ(result, 0);
}

}  // namespace
}  // namespace mivora
