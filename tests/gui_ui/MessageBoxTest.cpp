// The program's message box: its buttons for each style, its answers by
// mouse and keyboard, and that it is modal with the product name as caption.

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include "tests/support/GuiTestSupport.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"

namespace mivora::ui {
namespace {

struct StyleCase {
  unsigned style;
  const char* first;
  const char* second;  // nullptr: one button
  const char* picture;
};

TEST(MessageBox, ButtonsAndPictureFollowTheStyleBits) {
  const StyleCase cases[] = {
      {kMbYesNo | kMbIconQuestion, "Yes", "No", "msg_question"},
      {kMbYesNo | kMbIconInformation, "Yes", "No", "msg_information"},
      {kMbOkCancel | kMbIconStop, "OK", "Cancel", "msg_error"},
      {kMbOk | kMbIconInformation, "OK", nullptr, "msg_information"},
      {kMbIconStop, "OK", nullptr, "msg_error"},
      {0x3 /* abort/retry/ignore: not offered */, "OK", nullptr, "msg_information"},
      {kMbYesNo | kMbIconQuestion | kMbIconStop, "Yes", "No", "msg_question"},
  };
  for (const StyleCase& c : cases) {
    SCOPED_TRACE(c.style);
    CDlgMessageBox box(QStringLiteral("Text"), c.style, nullptr);
    EXPECT_EQ(box.Title(), QStringLiteral("Mivora"));
    EXPECT_EQ(box.FirstButton()->text(), QString::fromLatin1(c.first));
    if (c.second) {
      ASSERT_NE(box.SecondButton(), nullptr);
      EXPECT_EQ(box.SecondButton()->text(), QString::fromLatin1(c.second));
    } else {
      EXPECT_EQ(box.SecondButton(), nullptr);
    }
    EXPECT_EQ(box.Picture(), QString::fromLatin1(c.picture));
  }
}

// How the user answers, and what the box returns.
struct AnswerCase {
  const char* name;
  unsigned style;
  std::function<void(CDlgMessageBox&)> answer;
  int expected;
};

TEST(MessageBox, ReturnsOneForTheFirstButtonAndTwoForTheSecond) {
  const AnswerCase cases[] = {
      {"click Yes", kMbYesNo, [](CDlgMessageBox& b) { QTest::mouseClick(b.FirstButton(), Qt::LeftButton); }, 1},
      {"click No", kMbYesNo, [](CDlgMessageBox& b) { QTest::mouseClick(b.SecondButton(), Qt::LeftButton); }, 2},
      {"click Cancel", kMbOkCancel, [](CDlgMessageBox& b) { QTest::mouseClick(b.SecondButton(), Qt::LeftButton); }, 2},
      {"Enter on the focused first button", kMbYesNo,
       [](CDlgMessageBox& b) { QTest::keyClick(b.FirstButton(), Qt::Key_Return); }, 1},
      {"Enter with no button focused", kMbYesNo, [](CDlgMessageBox& b) { QTest::keyClick(&b, Qt::Key_Enter); }, 1},
      {"Tab then Enter", kMbYesNo,
       [](CDlgMessageBox& b) {
         b.SecondButton()->setFocus();
         QTest::keyClick(b.SecondButton(), Qt::Key_Return);
       },
       2},
      {"Escape with two buttons", kMbYesNo, [](CDlgMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, 2},
      {"Escape with one button", kMbOk, [](CDlgMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, 1},
      {"closed by the desktop", kMbYesNo, [](CDlgMessageBox& b) { b.close(); }, 2},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.name);
    CDlgMessageBox box(QStringLiteral("Question?"), c.style, nullptr);
    QTimer::singleShot(0, &box, [&] {
      if (!test::WaitUntil([&] { return box.isVisible(); })) {
        ADD_FAILURE() << "the box never showed";
        box.done(0);
        return;
      }
      c.answer(box);
      // An answer that did not end the box fails instead of hanging.
      QTimer::singleShot(2000, &box, [&] {
        if (box.isVisible()) {
          ADD_FAILURE() << "still open";
          box.done(99);
        }
      });
    });
    EXPECT_EQ(box.DoModal(), c.expected);
  }
}

TEST(MessageBox, IsModalOverItsParentAndGrowsForLongTexts) {
  QWidget owner;
  owner.resize(400, 300);
  owner.show();
  const QString longText = QString(QStringLiteral("A long notice that wraps over several lines. ")).repeated(8);
  CDlgMessageBox shortBox(QStringLiteral("Short"), kMbOk, &owner);
  CDlgMessageBox longBox(longText, kMbOk, &owner);
  EXPECT_EQ(longBox.width(), shortBox.width());
  EXPECT_GT(longBox.height(), shortBox.height());
  EXPECT_EQ(shortBox.windowModality(), Qt::WindowModal);

  test::MessageBoxAnswerer answerer({1});
  EXPECT_EQ(CDlgMessageBox::Show(QStringLiteral("Shown"), kMbYesNo | kMbIconQuestion, &owner), 1);
  EXPECT_EQ(answerer.Texts(), QStringList{QStringLiteral("Shown")});
}

}  // namespace
}  // namespace mivora::ui
