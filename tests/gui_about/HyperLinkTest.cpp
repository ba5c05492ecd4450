// The hyperlink label: what it shows, how it reacts to the mouse, and what a
// click opens or reports.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <memory>

#include "app/about/CHyperLink.h"
#include "net/DesktopLinkOpener.h"
#include "tests/gui_about/RecordingOpener.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"

namespace mivora {
namespace {

TEST(HyperLinkTest, ShowsItsAddressLikeALink) {
  CHyperLink link(QStringLiteral("Support"), QStringLiteral("http://www.example.com/contact.html"));
  EXPECT_EQ(link.toolTip(), QStringLiteral("http://www.example.com/contact.html"));
  EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(link.font().underline());
  EXPECT_EQ(link.CurrentColor(), QColor(0, 0, 238));
  link.SetUnderline(false);
  EXPECT_FALSE(link.font().underline());

  CHyperLink fromText(QStringLiteral("http://a.example/"), QString());
  EXPECT_EQ(fromText.Url(), QStringLiteral("http://a.example/"));
  CHyperLink fromUrl(QString(), QStringLiteral("http://b.example/"));
  EXPECT_EQ(fromUrl.text(), QStringLiteral("http://b.example/"));
}

TEST(HyperLinkTest, HoverAndVisitedChangeTheColour) {
  test::RecordingOpener opener;
  CHyperLink link(QStringLiteral("Support"), QStringLiteral("http://www.example.com/"));
  link.show();
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
  QApplication::sendEvent(&link, &enter);
  EXPECT_TRUE(link.OverControl());
  EXPECT_EQ(link.CurrentColor(), link.palette().color(QPalette::Highlight));
  link.SetColors(Qt::blue, Qt::magenta, Qt::green);
  EXPECT_EQ(link.CurrentColor(), QColor(Qt::green));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&link, &leave);
  EXPECT_FALSE(link.OverControl());
  EXPECT_EQ(link.CurrentColor(), QColor(Qt::blue));

  QTest::mouseClick(&link, Qt::LeftButton);
  EXPECT_EQ(opener.opened, std::vector<std::string>{"http://www.example.com/"});
  EXPECT_TRUE(link.Visited());
  EXPECT_EQ(link.CurrentColor(), QColor(Qt::magenta));
}

TEST(HyperLinkTest, AFailedOpenSaysWhyAndStaysUnvisited) {
  test::RecordingOpener opener;
  struct {
    int code;
    const char* reason;
  } cases[] = {
      {kLinkSharingViolation, "A sharing violation occurred. "},
      {kLinkNoAssociation, "There is no application associated\nwith the given filename extension."},
      {-71, "Unknown Error (-71) occurred."},
  };
  for (const auto& c : cases) {
    opener.result = c.code;
    CHyperLink link(QStringLiteral("Support"), QStringLiteral("http://www.example.com/"));
    link.show();
    test::MessageBoxAnswerer answerer;
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_EQ(answerer.Texts(), QStringList{QStringLiteral("Unable to open hyperlink:\n\n") + c.reason});
    EXPECT_FALSE(link.Visited());
  }
}

TEST(HyperLinkTest, KeyboardOpensAndNotifyParentOnlyReports) {
  test::RecordingOpener opener;
  CHyperLink link(QStringLiteral("Guide"), QStringLiteral("file:///opt/mivora/Help.html"));
  link.show();
  QTest::keyClick(&link, Qt::Key_Space);
  EXPECT_EQ(opener.opened.size(), 1u);

  link.SetNotifyParent(true);
  QSignalSpy clicked(&link, &CHyperLink::clicked);
  QTest::mouseClick(&link, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(opener.opened.size(), 1u) << "nothing more was opened";
}

// The desktop's opener as a script that takes its time and then fails.
std::string SlowFailingOpener() {
  std::string path = test::MakeTempDir("opener") + "/opener";
  test::WriteFile(path, "#!/bin/sh\nsleep 1.5\nexit 3\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(HyperLinkTest, ASlowOpenerNeitherFreezesTheWindowNorLosesItsFailure) {
  using namespace std::chrono_literals;
  DesktopLinkOpener desktop(SlowFailingOpener());
  SetLinkOpener(&desktop);
  {
    CHyperLink link(QStringLiteral("Support"), QStringLiteral("http://www.example.com/"));
    link.show();
    test::MessageBoxAnswerer answerer;
    auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(&link, Qt::LeftButton);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms) << "the click returns while the opener runs";
    EXPECT_TRUE(answerer.Texts().isEmpty());
    // The window goes on handling events; the failure is reported when it comes.
    EXPECT_TRUE(test::WaitUntil([&] { return !answerer.Texts().isEmpty(); }, 10000));
    EXPECT_EQ(answerer.Texts(), QStringList{QStringLiteral("Unable to open hyperlink:\n\nThere is no application "
                                                           "associated\nwith the given filename extension.")});
    EXPECT_FALSE(link.Visited());
  }
  {
    // A link gone before the answer comes: the answer is dropped quietly.
    test::MessageBoxAnswerer answerer;
    auto link = std::make_unique<CHyperLink>(QStringLiteral("Support"), QStringLiteral("http://www.example.com/"));
    link->show();
    QTest::mouseClick(link.get(), Qt::LeftButton);
    link.reset();
    QTest::qWait(2500);
    EXPECT_TRUE(answerer.Texts().isEmpty());
  }
  SetLinkOpener(nullptr);
}

}  // namespace
}  // namespace mivora
