#include "net/UpgradeCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "common/Folders.h"
#include "net/ArchiveUnpack.h"
#include "tests/net/TestArchive.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::HttpReply;
using test::LocalHttpServer;

constexpr const char* kQuery = "/cgi-bin/getversion?get&p=mvr";
constexpr const char* kArchive = "/newver_mvr.zip";

std::string ArchiveBytes(const std::vector<test::ArchiveEntry>& entries) {
  std::string path = test::MakeTempDir("zip") + "/a.zip";
  EXPECT_TRUE(test::WriteTestArchive(path, entries));
  return test::ReadFile(path);
}

// What the temporary folders hold, so a check can be seen to leave nothing behind.
std::vector<std::string> TempListing() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(PrivateTempFolder())) names.push_back(entry.path().filename());
  for (const auto& entry : fs::directory_iterator(TempFolder())) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class UpgradeCheckTest : public ::testing::Test {
 protected:
  UpgradeResult Check() {
    UpgradeServers servers{server.Host(), server.Host()};
    return RunUpgradeCheck(servers, {2s, 2s});
  }
  LocalHttpServer server;
};

TEST_F(UpgradeCheckTest, VersionRepliesDecideBetweenUpToDateAndANewerVersion) {
  struct {
    HttpReply reply;
    UpgradeOutcome outcome;
  } cases[] = {
      {HttpReply::Ok("<v>1.31</v><i>131</i><b>1</b>"), UpgradeOutcome::kOfferDownloadPage},
      {HttpReply::Ok("<v>1.20</v><i>120</i><b>300</b>"), UpgradeOutcome::kOfferDownloadPage},
      {HttpReply::Ok("<v>1.30</v><i>130</i><b>202</b>"), UpgradeOutcome::kUpToDate},
      {HttpReply::Ok("<html>maintenance</html>"), UpgradeOutcome::kUpToDate},
      {HttpReply::Ok(std::string(1015, ' ') + "<i>131</i><b>999</b>"), UpgradeOutcome::kUpToDate},
      {HttpReply::Ok(std::string(2000, ' ')), UpgradeOutcome::kUpToDate},
      {HttpReply::Status(404, "<v>9</v><i>999</i>"), UpgradeOutcome::kCannotConnect},
      {HttpReply::Status(500, ""), UpgradeOutcome::kCannotConnect},
      {HttpReply::Announcing("<i>131</i>", 4'000'000'000ull), UpgradeOutcome::kCannotConnect},
  };
  // No archive is served: a newer version then offers the download page.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.head + c.reply.body.substr(0, 40));
    server.Serve(kQuery, c.reply);
    EXPECT_EQ(Check().outcome, c.outcome);
  }
}

TEST_F(UpgradeCheckTest, ANewerVersionShowsTheUnpackedPageFromAFreshFolder) {
  server.Serve(kQuery, HttpReply::Ok("<v>1.31</v><i>131</i><b>5</b>"));
  server.Serve(kArchive, HttpReply::Ok(ArchiveBytes({{"newver.html", "<p>new</p><img src=\"a.png\">"},
                                                     {"a.png", "png"}})));
  auto before = TempListing();
  UpgradeResult result = Check();
  ASSERT_EQ(result.outcome, UpgradeOutcome::kShowWhatsNew);
  EXPECT_EQ(result.question, "Found new version: 1.31 build 5,do you want download now?");
  EXPECT_EQ(FolderOf(result.whatsNewPage), result.whatsNewFolder);
  EXPECT_EQ(FolderOf(result.whatsNewFolder), PrivateTempFolder());
  EXPECT_EQ(test::ReadFile(result.whatsNewPage), "<p>new</p><img src=\"a.png\">");
  EXPECT_EQ(test::ReadFile(result.whatsNewFolder + "/a.png"), "png");
  EXPECT_EQ(FileAddress(result.whatsNewPage), "file://" + result.whatsNewPage);
  RemoveTree(result.whatsNewFolder);
  EXPECT_EQ(TempListing(), before) << "the downloaded archive is deleted";
}

TEST_F(UpgradeCheckTest, ArchivesThatCannotBeShownLeaveNothingBehind) {
  const std::string whole = ArchiveBytes({{"newver.html", std::string(5000, 'x')}, {"b.bin", "0123456789"}});
  struct {
    const char* name;
    HttpReply archive;
    UpgradeOutcome outcome;
  } cases[] = {
      {"a web page", HttpReply::Ok("<!DOCTYPE html><html><body>moved</body></html>"),
       UpgradeOutcome::kOfferDownloadPage},
      {"missing", HttpReply::Status(404, "gone"), UpgradeOutcome::kOfferDownloadPage},
      {"not an archive", HttpReply::Ok("PK this is no zip"), UpgradeOutcome::kNothingToShow},
      {"cut short", HttpReply::Announcing(whole.substr(0, whole.size() / 2), whole.size()),
       UpgradeOutcome::kNothingToShow},
      {"no page inside", HttpReply::Ok(ArchiveBytes({{"readme.txt", "x"}})), UpgradeOutcome::kNothingToShow},
      {"zip-slip", HttpReply::Ok(ArchiveBytes({{"newver.html", "x"}, {"../../evil.sh", "rm -rf"}})),
       UpgradeOutcome::kNothingToShow},
      {"link out", HttpReply::Ok(ArchiveBytes({{"newver.html", "/etc/passwd", true}})),
       UpgradeOutcome::kNothingToShow},
  };
  server.Serve(kQuery, HttpReply::Ok("<v>2.0</v><i>200</i><b>1</b>"));
  auto before = TempListing();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve(kArchive, c.archive);
    UpgradeResult result = Check();
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.question, "Found new version: 2.0 build 1,do you want download now?");
    EXPECT_EQ(TempListing(), before);
  }
  EXPECT_FALSE(FileExists(TempFolder() + "/evil.sh"));
  EXPECT_FALSE(FileExists((fs::path(TempFolder()).parent_path() / "evil.sh").string()));
}

TEST_F(UpgradeCheckTest, ASilentServerEndsTheCheckWithinItsBound) {
  server.Serve(kQuery, HttpReply::Silent());
  auto start = std::chrono::steady_clock::now();
  UpgradeResult result = RunUpgradeCheck({server.Host(), server.Host()}, {500ms, 500ms});
  EXPECT_EQ(result.outcome, UpgradeOutcome::kCannotConnect);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

  std::atomic<bool> cancel{true};
  EXPECT_EQ(RunUpgradeCheck({server.Host(), server.Host()}, {}, &cancel).outcome, UpgradeOutcome::kCancelled);
}

TEST_F(UpgradeCheckTest, ABuildWithoutServersAsksNobody) {
  EXPECT_EQ(RunUpgradeCheck({"", ""}, {}).outcome, UpgradeOutcome::kNoServer);
  EXPECT_TRUE(server.RequestHeads().empty());
}

TEST(LooksLikeWebPageTest, OnlyTheFirst199BytesAreLookedAt) {
  std::string root = test::MakeTempDir("page");
  struct {
    std::string contents;
    bool page;
  } cases[] = {
      {"<html>", true},
      {std::string(195, 'x') + "html", true},
      {std::string(196, 'x') + "html", false},
      {std::string("PK\x03\x04\x14\0\0\0newver.html", 19), false},
      {"PK not an archive <html>", true},
      {"<HTML>", false},
      {"", false},
  };
  for (const auto& c : cases) {
    test::WriteFile(root + "/f", c.contents);
    EXPECT_EQ(LooksLikeWebPage(root + "/f"), c.page) << c.contents.size();
  }
  EXPECT_FALSE(LooksLikeWebPage(root + "/missing"));
}

}  // namespace
}  // namespace mivora
