#include "tests/support/GuiTestSupport.h"

#include <QApplication>
#include <QPointer>
#include <QTest>

#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"

namespace mivora::test {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  return QTest::qWaitFor(done, timeoutMs);
}

MessageBoxAnswerer::MessageBoxAnswerer(std::deque<int> answers) : answers_(std::move(answers)) {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() { timer_.stop(); }

void MessageBoxAnswerer::Poll() {
  auto* box = qobject_cast<ui::CDlgMessageBox*>(QApplication::activeModalWidget());
  if (!box || !box->isVisible() || box->property("answered").toBool()) return;
  box->setProperty("answered", true);
  texts_ << box->Text();
  styles_ << box->Style();
  int answer = answers_.empty() ? (box->SecondButton() ? 2 : 1) : answers_.front();
  if (!answers_.empty()) answers_.pop_front();
  ui::CGPImageButton* button = answer == 2 && box->SecondButton() ? box->SecondButton() : box->FirstButton();
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace mivora::test
