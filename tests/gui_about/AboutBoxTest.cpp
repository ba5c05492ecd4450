// The about box as a user meets it: its texts, the upgrade check against a
// local server with every outcome, the what's-new page, and a server that
// never answers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/about/CAboutDlg.h"
#include "app/about/CHyperLink.h"
#include "app/about/CWhatsNewDlg.h"
#include "common/Folders.h"
#include "tests/gui_about/RecordingOpener.h"
#include "tests/net/TestArchive.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestEnvironment.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

using namespace std::chrono_literals;
using test::HttpReply;

constexpr const char* kQuery = "/cgi-bin/getversion?get&p=mvr";
constexpr const char* kArchive = "/newver_mvr.zip";

std::string ArchiveBytes(const std::vector<test::ArchiveEntry>& entries) {
  std::string path = test::MakeTempDir("zip") + "/a.zip";
  EXPECT_TRUE(test::WriteTestArchive(path, entries));
  return test::ReadFile(path);
}

class AboutBoxTest : public ::testing::Test {
 protected:
  UpgradeServers Servers() const { return {server.Host(), server.Host()}; }

  // Presses "Check Upgrade" and waits until its outcome has been handled.
  int PressCheck(CAboutDlg& box, int timeoutMs = 15000) {
    QSignalSpy finished(&box, &CAboutDlg::checkFinished);
    QTest::mouseClick(box.CheckButton(), Qt::LeftButton);
    EXPECT_TRUE(test::WaitUntil([&] { return finished.count() == 1; }, timeoutMs));
    return finished.isEmpty() ? -1 : finished.at(0).at(0).toInt();
  }

  test::LocalHttpServer server;
  test::RecordingOpener opener;
};

TEST_F(AboutBoxTest, ShowsNameVersionAndSupportLinkInTheSkinnedBox) {
  CAboutDlg box(nullptr, Servers());
  box.show();
  EXPECT_EQ(box.size(), QSize(363, 366));
  EXPECT_EQ(box.Title(), QStringLiteral("About"));
  EXPECT_EQ(box.VersionLabel()->text(), QStringLiteral("Mivora 1.30 Build 202"));
  EXPECT_EQ(box.SupportLink()->text(), QStringLiteral("Support"));
  EXPECT_EQ(box.SupportLink()->Url().toStdString(), Servers().SupportPageUrl());
  EXPECT_EQ(box.CheckButton()->toolTip(), QStringLiteral("Check Upgrade"));
  EXPECT_EQ(box.OkButton()->toolTip(), QStringLiteral("OK"));

  QTest::mouseClick(box.SupportLink(), Qt::LeftButton);
  EXPECT_EQ(opener.opened, std::vector<std::string>{Servers().SupportPageUrl()});

  QTest::mouseClick(box.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), QDialog::Accepted);

  // A build without a web site sends "Support" to the guide beside the program.
  EXPECT_EQ(CAboutDlg::SupportAddress({"", ""}).toStdString(), "file://" + ProgramFolderSlash() + "Help.html");
}

TEST_F(AboutBoxTest, CheckUpgradeReportsEachOutcome) {
  struct Case {
    const char* name;
    UpgradeServers servers;
    HttpReply reply;
    HttpReply archive;
    std::deque<int> answers;
    QStringList messages;
    std::vector<std::string> opened;
  };
  const std::string offer = "Found new version: 1.31 build 1,do you want download now?";
  const HttpReply newer = HttpReply::Ok("<v>1.31</v><i>131</i><b>1</b>");
  const HttpReply page = HttpReply::Ok("<html><body>Download Mivora</body></html>");
  const Case cases[] = {
      {"up to date", Servers(), HttpReply::Ok("<i>130</i><b>202</b>"), page, {}, {"Your software is up to date"}, {}},
      {"server error", Servers(), HttpReply::Status(503, "<i>999</i>"), page, {},
       {"Can not connect to the server,please check your internet settings."}, {}},
      {"newer, a page instead of the archive, yes", Servers(), newer, page, {1}, {QString::fromStdString(offer)},
       {Servers().DownloadPageUrl()}},
      {"newer, a page instead of the archive, no", Servers(), newer, page, {2}, {QString::fromStdString(offer)}, {}},
      {"newer, an archive that does not unpack", Servers(), newer, HttpReply::Ok("PK\x03\x04 broken"), {}, {}, {}},
      {"no server in this build", {"", ""}, newer, page, {}, {QString::fromLatin1(kNoUpgradeServerText)}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Serve(kQuery, c.reply);
    server.Serve(kArchive, c.archive);
    opener.opened.clear();
    CAboutDlg box(nullptr, c.servers);
    box.show();
    test::MessageBoxAnswerer answerer(c.answers);
    PressCheck(box);
    EXPECT_EQ(answerer.Texts(), c.messages);
    EXPECT_EQ(opener.opened, c.opened);
    EXPECT_TRUE(box.CheckButton()->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor ends with the check";
  }
}

TEST_F(AboutBoxTest, ANewerVersionShowsItsWhatsNewPageWithPictures) {
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::red);
  std::string png = test::MakeTempDir("png") + "/shot.png";
  ASSERT_TRUE(picture.save(QString::fromStdString(png)));
  server.Serve(kQuery, HttpReply::Ok("<v>2.0</v><i>200</i><b>3</b>"));
  server.Serve(kArchive, HttpReply::Ok(ArchiveBytes(
                             {{"newver.html", "<html><body><h1>What is new in 2.0</h1><img src=\"shot.png\"></body></html>"},
                              {"shot.png", test::ReadFile(png)}})));
  CAboutDlg box(nullptr, Servers());
  box.show();
  QString shown;
  bool pictureLoaded = false;
  std::string folder;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* page = qobject_cast<CWhatsNewDlg*>(QApplication::activeModalWidget());
    if (!page || !page->isVisible()) return;
    poll.stop();
    shown = page->Browser()->toPlainText();
    QUrl source = page->Browser()->source();
    folder = std::string(FolderOf(source.toLocalFile().toStdString()));
    QVariant image = page->Browser()->document()->resource(QTextDocument::ImageResource, QUrl("shot.png"));
    pictureLoaded = image.isValid();
    QTest::mouseClick(page->CloseButton(), Qt::LeftButton);
  });
  poll.start(10);
  EXPECT_EQ(PressCheck(box), static_cast<int>(UpgradeOutcome::kShowWhatsNew));
  EXPECT_TRUE(shown.contains(QStringLiteral("What is new in 2.0"))) << shown.toStdString();
  EXPECT_TRUE(pictureLoaded);
  EXPECT_EQ(FolderOf(folder), PrivateTempFolder()) << "unpacked into a folder of its own";
  EXPECT_FALSE(FileExists(folder)) << "the unpacked page is removed once closed";
}

TEST_F(AboutBoxTest, ASilentServerNeitherFreezesTheBoxNorOutlivesIt) {
  server.Serve(kQuery, HttpReply::Silent());
  {
    CAboutDlg box(nullptr, Servers(), {1500ms, 1500ms});
    box.show();
    test::MessageBoxAnswerer answerer;
    QSignalSpy finished(&box, &CAboutDlg::checkFinished);
    QTest::mouseClick(box.CheckButton(), Qt::LeftButton);
    EXPECT_TRUE(box.Checking());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(box.CheckButton()->isEnabled());
    QTest::qWait(200);  // the window keeps handling events meanwhile
    EXPECT_TRUE(test::WaitUntil([&] { return finished.count() == 1; }, 10000));
    EXPECT_EQ(answerer.Texts(), QStringList{QString::fromLatin1(kCannotConnectText)});
  }
  // Closing the box while the check waits ends the check at once, silently.
  CAboutDlg box(nullptr, Servers());
  box.show();
  test::MessageBoxAnswerer answerer;
  QTest::mouseClick(box.CheckButton(), Qt::LeftButton);
  auto start = std::chrono::steady_clock::now();
  QTest::mouseClick(box.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(box.Checking());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  QTest::qWait(100);
  EXPECT_TRUE(answerer.Texts().isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Folders the upgrade check unpacked into that are still there, wherever
// in the temporary folder they lie.
std::vector<std::string> UnpackFolders() {
  std::vector<std::string> found;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(TempFolder(), error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (error) break;
    if (it->path().filename().string().rfind("mivora-newver-", 0) == 0) found.push_back(it->path());
  }
  return found;
}

TEST_F(AboutBoxTest, ClosingTheBoxWhileTheCheckUnpacksLeavesNoFolderBehind) {
  // A large page makes the unpacking take a while.
  server.Serve(kQuery, HttpReply::Ok("<v>2.0</v><i>200</i><b>3</b>"));
  server.Serve(kArchive, HttpReply::Ok(ArchiveBytes(
                             {{"newver.html", "<html><body>What is new</body></html>"},
                              {"notes.html", std::string(40 << 20, ' ')}})));
  enum class Closing { kOkButton, kEscapeKey, kDestroyed };
  for (Closing closing : {Closing::kOkButton, Closing::kEscapeKey, Closing::kDestroyed}) {
    SCOPED_TRACE(static_cast<int>(closing));
    test::MessageBoxAnswerer answerer;
    auto box = std::make_unique<CAboutDlg>(nullptr, Servers());
    box->show();
    QTest::mouseClick(box->CheckButton(), Qt::LeftButton);
    // Wait for the unpacking to begin, without letting the box see the end.
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (UnpackFolders().empty() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    ASSERT_FALSE(UnpackFolders().empty()) << "the check never began to unpack";
    if (closing == Closing::kOkButton) QTest::mouseClick(box->OkButton(), Qt::LeftButton);
    if (closing == Closing::kEscapeKey) QTest::keyClick(box.get(), Qt::Key_Escape);
    box.reset();
    QTest::qWait(100);
    // (Asserted: a folder left behind would end the next case's wait early.)
    ASSERT_EQ(UnpackFolders(), std::vector<std::string>{});
    EXPECT_TRUE(answerer.Texts().isEmpty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

}  // namespace
}  // namespace mivora
