#include <gtest/gtest.h>

#include <QLabel>
#include <QSpinBox>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "app/editor/PreviewWindow.h"
#include "app/editor/SourceWindowsDialogs.h"
#include "app/editor/TransportControls.h"
#include "preview/PlayStatic.h"
#include "tests/gui_editor/EditorTestSupport.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "ui/CDlgMessageBox.h"

namespace mivora {
namespace {

using test::MessageBoxAnswerer;
using test::WaitUntil;
using test::WhenModalOpens;

class RowButtonsTest : public test::MainDlgTest {};

void TypeInto(QSpinBox* box, int value) {
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, QString::number(value));
  QTest::keyClick(box, Qt::Key_Return);
}

TEST_F(RowButtonsTest, PreviewPlaysTheRowsFileAndTheEditorsSavedEditsReachTheTooltipAndTheJob) {
  SourceWindowsDialogs dialogs;
  window_->SetSourceWindows(&dialogs);
  const QString clip = QString::fromStdString(test::EditorClip());
  Drop({clip});
  ASSERT_EQ(List().rowCount(), 1);

  // "Preview": plays the row's file at once; closing stops it.
  bool played = false;
  WhenModalOpens<PreviewWindow> preview([&](PreviewWindow* window) {
    played = WaitUntil([&] { return !window->Player()->Picture().isNull(); });
    EXPECT_EQ(window->Player()->m_strFile, clip.toStdString());
    window->reject();
  });
  ClickRowButton(0, 1);
  EXPECT_TRUE(preview.Done());
  EXPECT_TRUE(played);

  // "Edit the video": the end of the trim from the playing position, a typed crop, "OK", close.
  MessageBoxAnswerer answers;
  WhenModalOpens<EditorWindow> edit([&](EditorWindow* editor) {
    EXPECT_EQ(editor->Model().FrameWidth(), 320) << "the probed size";
    QTest::mouseClick(editor->Transport()->PlayPauseButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return editor->Transport()->TimeLabel()->text() == "0:00:01"; }, 5000));
    QTest::mouseClick(editor->PageAt(EditorWindow::kTrimPage)->findChild<QWidget*>("trimEndSet"), Qt::LeftButton);
    QTest::mouseClick(editor->TabButton(EditorWindow::kCropPage), Qt::LeftButton);
    QWidget* crop = editor->PageAt(EditorWindow::kCropPage);
    TypeInto(crop->findChild<QSpinBox*>("cropLeft"), 10);
    TypeInto(crop->findChild<QSpinBox*>("cropTop"), 20);
    TypeInto(crop->findChild<QSpinBox*>("cropWidth"), 160);
    TypeInto(crop->findChild<QSpinBox*>("cropHeight"), 120);
    QTest::mouseClick(crop->findChild<QWidget*>("ok"), Qt::LeftButton);
    editor->reject();
  });
  ClickRowButton(0, 0);
  EXPECT_TRUE(edit.Done());
  EXPECT_EQ(answers.Texts(), QStringList{"Saved successfully! "});

  EXPECT_EQ(List().item(0, 0)->toolTip(), "Trim: 00:00:00 - 00:00:01\nCrop: {10,20,160,120}");
  std::optional<SourceItem> item = window_->Model().Sources().At(0);
  ASSERT_TRUE(item && item->editSettings);
  std::string args = item->editSettings->BuildEditArguments();
  EXPECT_EQ(args, "-vf \"crop=160:120:10:20\" -t 1.000 ");
}

}  // namespace
}  // namespace mivora
