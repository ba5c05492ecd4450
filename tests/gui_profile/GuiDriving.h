#pragma once
// Driving windows as a user does: picking in drop-downs and menus, and acting
// on modal dialogs and pop-ups that open inside a nested event loop.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

namespace mivora::test {

// The texts of a drop-down's items.
inline std::vector<std::string> ItemsOf(const QComboBox& box) {
  std::vector<std::string> items;
  for (int i = 0; i < box.count(); ++i) items.push_back(box.itemText(i).toStdString());
  return items;
}

// Opens the drop-down with a click (on its arrow when text can be typed), moves the highlight to `text` and presses
// Enter. False when the list has no such item (the pop-up is closed again).
inline bool PickInComboBox(QComboBox& box, const QString& text) {
  const QPoint at = box.isEditable() ? QPoint(box.width() - 8, box.height() / 2) : box.rect().center();
  QTest::mouseClick(&box, Qt::LeftButton, {}, at);
  if (!QTest::qWaitFor([&] { return box.view()->isVisible(); })) return false;
  int position = box.findText(text);
  if (position < 0) {
    QTest::keyClick(box.view(), Qt::Key_Escape);
    return false;
  }
  box.view()->setCurrentIndex(box.model()->index(position, 0));
  QTest::keyClick(box.view(), Qt::Key_Return);
  return QTest::qWaitFor([&] { return !box.view()->isVisible(); });
}

// Runs `action` on the first widget of type T (and, when given, `match`)
// that becomes the active pop-up or modal window, polling from the event
// loop, so it also runs while a modal dialog or menu blocks the caller. After
// five seconds it gives up and closes what is open, so the caller's loop ends.
template <typename T>
void WhenShown(std::function<void(T*)> action, std::function<bool(T*)> match = {}) {
  auto* poll = new QTimer;
  auto ticks = std::make_shared<int>(0);
  QObject::connect(poll, &QTimer::timeout, [poll, ticks, action, match] {
    QWidget* top = QApplication::activePopupWidget();
    if (top == nullptr) top = QApplication::activeModalWidget();
    T* found = qobject_cast<T*>(top);
    if (found != nullptr && match && !match(found)) found = nullptr;
    if (found == nullptr && ++*ticks < 500) return;
    poll->stop();
    poll->deleteLater();
    if (found != nullptr) {
      action(found);
      return;
    }
    ADD_FAILURE() << "no such window opened";
    while (QWidget* open = QApplication::activePopupWidget()) open->close();
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  poll->start(10);
}

// Clicks the entry `text` of a menu (a sub-menu entry opens its sub-menu).
inline bool ClickMenuEntry(QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->text() != text) continue;
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
    return true;
  }
  return false;
}

// Clicks `opener` and picks `group` / `profile` in the profile menu that
// opens; `shownAt` (when given) receives where the menu was shown.
inline void ChooseProfile(QAbstractButton& opener, const QString& group, const QString& profile,
                          QRect* shownAt = nullptr) {
  WhenShown<QMenu>([group, profile, shownAt](QMenu* menu) {
    if (shownAt) *shownAt = menu->geometry();
    ASSERT_TRUE(ClickMenuEntry(*menu, group));
    WhenShown<QMenu>([profile](QMenu* sub) { EXPECT_TRUE(ClickMenuEntry(*sub, profile)); },
                     [group](QMenu* sub) { return sub->title() == group; });
  });
  QTest::mouseClick(&opener, Qt::LeftButton);
}

}  // namespace mivora::test
