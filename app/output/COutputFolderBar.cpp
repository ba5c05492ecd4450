#include "app/output/COutputFolderBar.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QUrl>

#include "common/Folders.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPComboBox.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

QString PickFolder(QWidget* owner) {
  return QFileDialog::getExistingDirectory(owner, QString(), QString(), QFileDialog::ShowDirsOnly);
}

bool OpenInFileManager(const QString& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace

COutputFolderBar::COutputFolderBar(QWidget* parent, OutputFolderList& list)
    : QWidget(parent),
      list_(list),
      picker_(PickFolder),
      opener_(OpenInFileManager) {
  auto* folders = new ui::CGPComboBox(tr("Type the output folder, or pick a recently used one"), this);
  folders->SetTypable(true);
  folders_ = folders;
  folders_->setObjectName("outputFolders");
  folders_->setAccessibleName(tr("Output folder"));
  folders_->lineEdit()->setAccessibleName(tr("Output folder"));
  folders_->setMinimumContentsLength(20);
  connect(folders_->lineEdit(), &QLineEdit::textEdited, this, [this] { typed_ = true; });
  browse_ = new ui::CGPImageButton(this);
  browse_->setText(tr("Browse"));
  browse_->setObjectName("browseButton");
  browse_->setToolTip(tr("Select the target saving path"));
  open_ = new ui::CGPImageButton(this);
  open_->setText(tr("Open"));
  open_->setObjectName("openButton");
  open_->setToolTip(tr("Open the folder"));

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  row->addWidget(folders_, 1);
  row->addWidget(browse_);
  row->addWidget(open_);

  connect(folders_, &QComboBox::activated, this, &COutputFolderBar::OnChosen);
  connect(browse_, &QAbstractButton::clicked, this, &COutputFolderBar::OnBrowse);
  connect(open_, &QAbstractButton::clicked, this, &COutputFolderBar::OnOpen);
  for (QWidget* control : {static_cast<QWidget*>(folders_), static_cast<QWidget*>(browse_),
                           static_cast<QWidget*>(open_)})
    control->setFixedHeight(26);
  browse_->setFixedWidth(92);
  open_->setFixedWidth(72);
  Refresh();
}

void COutputFolderBar::Refresh() {
  QSignalBlocker quiet(folders_);
  folders_->clear();
  for (const std::string& item : list_.Items()) folders_->addItem(QString::fromStdString(item));
  folders_->setCurrentIndex(list_.Selection());
  if (list_.Selection() < 0) folders_->setEditText(QString());
  typed_ = false;
}

std::string COutputFolderBar::FolderToWrite(QString* problem) {
  std::string folder = list_.CurrentFolder();
  if (typed_) {
    QString text = folders_->currentText().trimmed();
    if (text == QLatin1String("~") || text.startsWith(QLatin1String("~/")))
      text.replace(0, 1, QDir::homePath());
    folder = text.isEmpty() ? std::string() : QDir::cleanPath(text).toStdString();
  }
  if (folder.empty()) return {};
  const QString shown = QString::fromStdString(folder);
  if (!QDir::isAbsolutePath(shown)) {
    *problem = tr("The output folder \"%1\" is not a full path.\nType a path that starts with / or ~/, or choose "
                  "a folder with Browse.").arg(shown);
    return {};
  }
  if (!CreateFolderTree(folder)) {
    MLOG("COutputFolderBar::FolderToWrite, cannot make %s", folder.c_str());
    *problem = tr("The output folder could not be made:\n%1\nCheck the name and that you may write to the "
                  "folder above it, or choose another folder with Browse.").arg(shown);
    return {};
  }
  if (!QFileInfo(shown).isWritable()) {
    *problem = tr("The output folder cannot be written to:\n%1\nChoose a folder of your own with Browse.")
                   .arg(shown);
    return {};
  }
  if (typed_) {
    list_.Browse(folder);
    Refresh();
  }
  return folder;
}

void COutputFolderBar::OnBrowse() {
  QString picked = picker_(window());
  if (picked.isEmpty()) return;
  list_.Browse(QDir::cleanPath(picked).toStdString());
  Refresh();
}

void COutputFolderBar::OnChosen(int index) {
  list_.Choose(index);
  Refresh();
}

void COutputFolderBar::OnOpen() {
  std::string folder = list_.CurrentFolder();
  if (folder.empty()) return;
  if (!QDir(QString::fromStdString(folder)).exists()) {
    ui::CDlgMessageBox::Show(tr("The folder does not exist yet:\n%1").arg(QString::fromStdString(folder)),
                             ui::kMbOk | ui::kMbIconStop, this);
    return;
  }
  if (!opener_(QString::fromStdString(folder))) {
    MLOG("COutputFolderBar::OnOpen, the file manager did not open %s", folder.c_str());
    ui::CDlgMessageBox::Show(tr("The folder could not be opened:\n%1").arg(QString::fromStdString(folder)),
                             ui::kMbOk | ui::kMbIconStop, this);
  }
}

}  // namespace mivora
