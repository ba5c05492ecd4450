#pragma once
// A main window on a private profile folder and user folder, with generated
// clips, a scripted file chooser and message-box answers.

#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "app/main/CMainDlg.h"
#include "app/startup/OpenProgressWindow.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"
#include "ui/CGPImageButton.h"
#include "ui/CRowButtonList.h"

namespace mivora::test {

class MainDlgTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media_ = new std::string(MakeTempDir("media"));
    for (const char* name : {"a.mp4", "b.avi", "c.mkv"}) GenerateClip(*media_ + "/" + name, {.seconds = 1.0, .width = 160, .height = 120});
    std::filesystem::copy_file(*media_ + "/a.mp4", *media_ + "/note.txt");
    std::filesystem::copy_file(*media_ + "/a.mp4", *media_ + "/A.mp4");
    std::filesystem::create_directory(*media_ + "/folder.mp4");
  }
  static void TearDownTestSuite() { delete media_; }

  void SetUp() override {
    profiles_ = MakeTempDir("profiles");
    std::filesystem::copy(MIVORA_SOURCE_PROFILES, profiles_, std::filesystem::copy_options::recursive);
    window_ = std::make_unique<CMainDlg>(MakeTempDir("user"), profiles_);
    window_->SetFileChooser([this](QWidget*) { return chosen_; });
    window_->SetProgressWindowFactory(ProgressWindows());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  static QString Clip(const char* name) { return QString::fromStdString(*media_ + "/" + name); }

  // Adds through the "Add File(s)" button with the chooser answering `paths`.
  void AddByDialog(const QStringList& paths) {
    chosen_ = paths;
    QTest::mouseClick(window_->AddButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0; }, 60000));
  }
  // Drops the paths on the window as a file manager does (a URI list).
  void Drop(const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPointF at(300, 200);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(window_.get(), &drop);
    ASSERT_TRUE(WaitUntil([&] { return window_->PendingAdds() == 0; }, 60000));
  }

  ui::CRowButtonList& List() { return *window_->SourceListView(); }
  QStringList FileColumn() {
    QStringList files;
    for (int row = 0; row < List().rowCount(); ++row) files << List().item(row, 0)->text();
    return files;
  }
  std::vector<std::string> ModelOrder() {
    std::vector<std::string> paths;
    for (const SourceItem& item : window_->Model().Sources().Items()) paths.push_back(item.sourcePath);
    return paths;
  }
  // A click on a row's File cell, with Ctrl or Shift held when given.
  void ClickRow(int row, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mouseClick(List().viewport(), Qt::LeftButton, modifiers, List().visualItemRect(List().item(row, 0)).center());
  }
  void ClickRowButton(int row, int action) {
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, List().ButtonRect(row, action).center());
  }

  static std::string* media_;
  std::string profiles_;
  QStringList chosen_;
  std::unique_ptr<CMainDlg> window_;
};

inline std::string* MainDlgTest::media_ = nullptr;

}  // namespace mivora::test
