// The main window for a screen reader and for the keyboard alone: every
// control seen through Qt's accessibility interface has a name and a role,
// the row buttons are named buttons of their rows that can be pressed, and a
// whole conversion is done with key presses only.

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <functional>

#include "app/output/COutputFolderBar.h"
#include "app/profile/CProfileBar.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "tests/gui_profile/GuiDriving.h"
#include "ui/CDlgMessageBox.h"

namespace mivora::test {
namespace {

bool Interactive(QAccessible::Role role) {
  switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::Table:
    case QAccessible::Row:
      return true;
    default:
      return false;
  }
}

// Every visible interface below `root`, depth first.
void Walk(QAccessibleInterface* root, const std::function<void(QAccessibleInterface*)>& visit, int depth = 0) {
  ASSERT_LT(depth, 12) << "the tree does not end";
  for (int i = 0; i < root->childCount(); ++i) {
    QAccessibleInterface* child = root->child(i);
    if (child == nullptr || child->state().invisible) continue;
    EXPECT_EQ(root->indexOfChild(child), i) << root->text(QAccessible::Name).toStdString();
    visit(child);
    Walk(child, visit, depth + 1);
  }
}

QAccessibleInterface* Find(QAccessibleInterface* root, QAccessible::Role role, const QString& name) {
  QAccessibleInterface* found = nullptr;
  Walk(root, [&](QAccessibleInterface* at) {
    if (!found && at->role() == role && at->text(QAccessible::Name) == name) found = at;
  });
  return found;
}

TEST_F(MainDlgTest, EveryControlHasANameAndARoleForScreenReaders) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi")});
  QAccessibleInterface* window = QAccessible::queryAccessibleInterface(window_.get());
  ASSERT_NE(window, nullptr);
  int interactive = 0;
  Walk(window, [&](QAccessibleInterface* at) {
    if (!Interactive(at->role())) return;
    ++interactive;
    EXPECT_FALSE(at->text(QAccessible::Name).trimmed().isEmpty())
        << "role " << at->role() << " at " << at->rect().x() << "," << at->rect().y() << " has no name";
  });
  EXPECT_GE(interactive, 20);

  for (const char* caption : {"Close", "Minimize", "Help", "About", "Profile", "Adjust profiles"}) {
    const QString name = QString::fromLatin1(caption);
    EXPECT_TRUE(Find(window, QAccessible::Button, name) || Find(window, QAccessible::EditableText, name)) << caption;
  }
  EXPECT_NE(Find(window, QAccessible::ComboBox, QStringLiteral("Output folder")), nullptr);

  // The second row holds its texts and its five buttons, which act on it.
  QAccessibleInterface* row = Find(window, QAccessible::Row, Clip("b.avi"));
  ASSERT_NE(row, nullptr);
  QStringList buttons;
  for (int i = 0; i < row->childCount(); ++i)
    if (row->child(i)->role() == QAccessible::Button) buttons << row->child(i)->text(QAccessible::Name);
  EXPECT_EQ(buttons, (QStringList{"Edit the video", "Preview", "Delete", "Move down", "Move up"}));
  QAccessibleInterface* moveUp = Find(row, QAccessible::Button, QStringLiteral("Move up"));
  ASSERT_NE(moveUp, nullptr);
  ASSERT_NE(moveUp->actionInterface(), nullptr);
  EXPECT_EQ(moveUp->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()).value(0),
            QKeySequence(Qt::ALT | Qt::Key_Up).toString(QKeySequence::NativeText));
  moveUp->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("a.mp4")}));
}

TEST_F(MainDlgTest, RowButtonsHaveKeysShownInTheirTooltips) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv")});
  EXPECT_EQ(List().ButtonToolTip(kRowEdit), QStringLiteral("Edit the video (Ctrl+E)"));
  EXPECT_EQ(List().ButtonToolTip(kRowMoveDown), QStringLiteral("Move down (Alt+Down)"));
  QSignalSpy clicks(&List(), &ui::CRowButtonList::RowButtonClicked);
  List().setFocus();
  List().setCurrentCell(0, 0);
  QTest::keyClick(&List(), Qt::Key_Down, Qt::AltModifier);
  EXPECT_EQ(FileColumn(), (QStringList{Clip("b.avi"), Clip("a.mp4"), Clip("c.mkv")}));
  QTest::keyClick(&List(), Qt::Key_E, Qt::ControlModifier);
  QTest::keyClick(&List(), Qt::Key_P, Qt::ControlModifier);
  ASSERT_GE(clicks.size(), 3);
  EXPECT_EQ(clicks.at(1).at(1).toInt(), kRowEdit);
  EXPECT_EQ(clicks.at(2).at(1).toInt(), kRowPreview);
  EXPECT_EQ(clicks.at(1).at(0).toInt(), List().currentRow());
}

TEST_F(MainDlgTest, ColumnsCanBeWidenedAndKeepTheirWidths) {
  AddByDialog({Clip("a.mp4")});
  QHeaderView& header = *List().horizontalHeader();
  EXPECT_EQ(header.sectionResizeMode(1), QHeaderView::Interactive);
  // A drag of the "Info" column's right edge, as with the mouse.
  const int edge = header.sectionViewportPosition(1) + header.sectionSize(1) - 1;
  const int before = header.sectionSize(1);
  QTest::mousePress(header.viewport(), Qt::LeftButton, {}, QPoint(edge, 10));
  QMouseEvent move(QEvent::MouseMove, QPointF(edge + 80, 10), header.viewport()->mapToGlobal(QPointF(edge + 80, 10)),
                   Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(header.viewport(), &move);
  QTest::mouseRelease(header.viewport(), Qt::LeftButton, {}, QPoint(edge + 80, 10));
  EXPECT_GE(header.sectionSize(1), before + 60);
  const int widened = header.sectionSize(1);
  window_->RefreshRows();
  AddByDialog({Clip("b.avi")});
  EXPECT_EQ(header.sectionSize(1), widened);
}

TEST_F(MainDlgTest, TheAddDialogListsEveryMediaFileTheEngineReads) {
  const QString filter = CMainDlg::ChooserFilter().section(QStringLiteral(";;"), 0, 0);
  for (const char* extension : {"*.webm", "*.m2ts", "*.mts", "*.3gp", "*.ogv", "*.opus", "*.wav", "*.mp4", "*.mkv"})
    EXPECT_TRUE(filter.split(QRegularExpression(QStringLiteral("[ ()]"))).contains(QString::fromLatin1(extension)))
        << extension << " in " << filter.toStdString();
}

// Presses `key` on the window's focused control (the one that holds the
// keyboard while the window is active; the desktop may take the activation
// away for a moment on the offscreen platform).
void Press(QWidget& window, int key, Qt::KeyboardModifiers modifiers = {}) {
  QWidget* focus = window.focusWidget();
  ASSERT_NE(focus, nullptr);
  QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
}

// Tabs until a widget named `name` has the focus; false after a full round.
bool TabTo(QWidget& window, const char* name) {
  for (int i = 0; i < 30; ++i) {
    if (window.focusWidget() && window.focusWidget()->objectName() == QLatin1String(name)) return true;
    Press(window, Qt::Key_Tab);
  }
  return false;
}

TEST_F(MainDlgTest, AFileIsAddedGivenAProfileAndConvertedWithTheKeyboardAlone) {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  window_->EnsureProfilesReady();
  chosen_ = {Clip("a.mp4")};
  window_->AddButton()->setObjectName("addButton");
  window_->StartButton()->setObjectName("startButton");
  ASSERT_TRUE(TabTo(*window_, "addButton"));
  Press(*window_, Qt::Key_Space);
  ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0 && List().rowCount() == 1; }, 60000));

  ASSERT_TRUE(TabTo(*window_, "sourceList"));
  Press(*window_, Qt::Key_Home);
  Press(*window_, Qt::Key_Space, Qt::ControlModifier);
  ASSERT_EQ(window_->SelectedRows(), std::vector<size_t>{0});

  // The profile menu: down to "General Video", into it, down to the profile.
  WhenShown<QMenu>([](QMenu* menu) {
    int group = 0;
    QMenu* sub = nullptr;
    for (QAction* action : menu->actions()) {
      ++group;
      if (action->text() == QLatin1String("General Video")) {
        sub = action->menu();
        break;
      }
    }
    ASSERT_NE(sub, nullptr);
    for (int i = 0; i < group; ++i) QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Right);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sub->isVisible(); }));
    int entry = 0;
    for (QAction* action : sub->actions()) {
      if (action->text() == QLatin1String("MP4 - MPEG-4 H.264 Video")) break;
      ++entry;
    }
    for (int i = 0; i < entry; ++i) QTest::keyClick(sub, Qt::Key_Down);
    QTest::keyClick(sub, Qt::Key_Return);
  });
  ASSERT_TRUE(TabTo(*window_, "targetButton"));
  Press(*window_, Qt::Key_Space);
  ASSERT_TRUE(WaitUntil([&] {
    return window_->ProfileBar()->NameField()->text().contains(QStringLiteral("MP4 - MPEG-4 H.264 Video"));
  }));

  const std::string out = MakeTempDir("keyboard") + "/made by typing";
  ASSERT_TRUE(TabTo(*window_, "outputFolders"));
  Press(*window_, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(window_->focusWidget(), QString::fromStdString(out));

  // "Are you sure?" and "Converted successfully!" are answered with Enter.
  for (int box = 0; box < 2; ++box) {
    WhenShown<ui::CDlgMessageBox>([](ui::CDlgMessageBox* dialog) {
      QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
    });
  }
  ASSERT_TRUE(TabTo(*window_, "startButton"));
  Press(*window_, Qt::Key_Space);
  ASSERT_TRUE(WaitUntil([&] { return window_->isVisible() && window_->ProgressWindow() == nullptr; }, 120000));
  const QStringList written = QDir(QString::fromStdString(out)).entryList(QDir::Files);
  ASSERT_EQ(written, QStringList{"a.mp4"});
  EXPECT_TRUE(ProbeWithFfprobe(out + "/a.mp4").readable);
  EXPECT_EQ(window_->OutputFolderBar()->CurrentFolder(), out);
}

TEST_F(MainDlgTest, AnOutputFolderThatCannotBeMadeIsNamedOnStart) {
  AddByDialog({Clip("a.mp4")});
  const std::string blocker = MakeTempDir("blocked") + "/file";
  std::filesystem::copy_file(*media_ + "/a.mp4", blocker);
  QLineEdit* field = window_->OutputFolderBar()->Folders()->lineEdit();
  ASSERT_NE(field, nullptr);
  for (const auto& [typed, expected] : std::vector<std::pair<QString, QString>>{
           {QString::fromStdString(blocker + "/inside"), QStringLiteral("could not be made")},
           {QStringLiteral("relative/folder"), QStringLiteral("is not a full path")}}) {
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, typed);
    MessageBoxAnswerer answers({1, 1});
    window_->OnStart();
    ASSERT_EQ(answers.Texts().size(), 2) << typed.toStdString();
    EXPECT_TRUE(answers.Texts().at(1).contains(expected)) << answers.Texts().at(1).toStdString();
    EXPECT_TRUE(answers.Texts().at(1).contains(typed)) << answers.Texts().at(1).toStdString();
    EXPECT_EQ(window_->ProgressWindow(), nullptr);
  }
}

}  // namespace
}  // namespace mivora::test
