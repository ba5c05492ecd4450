#include "app/about/CAboutDlg.h"

#include <QApplication>
#include <QPainter>

#include "app/about/AboutBox.h"
#include "app/about/CHyperLink.h"
#include "app/about/CWhatsNewDlg.h"
#include "common/Folders.h"
#include "common/Log.h"
#include "net/OpenLink.h"
#include "net/VersionReply.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {
namespace {

constexpr int kIconSize = 72;
constexpr int kIconTop = 62;

QLabel* CentredLabel(const QString& text, const QFont& font, const QColor& color, int top, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setFont(font);
  label->setAlignment(Qt::AlignCenter);
  label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(color.name()));
  label->setGeometry(10, top, CAboutDlg::kWidth - 20, 24);
  return label;
}

}  // namespace

void ShowAboutBox(QWidget* parent) {
  CAboutDlg box(parent);
  box.exec();
}

QString CAboutDlg::SupportAddress(const UpgradeServers& servers) {
  if (!servers.siteHost.empty()) return QString::fromStdString(servers.SupportPageUrl());
  return QString::fromStdString(FileAddress(ProgramFolderSlash() + "Help.html"));
}

CAboutDlg::CAboutDlg(QWidget* parent, UpgradeServers servers, UpgradeLimits limits)
    : ui::CImgDialogBase(QSize(kWidth, kHeight), QStringLiteral("About"), parent),
      servers_(std::move(servers)),
      limits_(limits) {
  version_ = CentredLabel(QStringLiteral("Mivora ") + QLatin1String(kOwnVersionText), ui::Skin::Font(15, true),
                          ui::colors::kText, 146, this);
  CentredLabel(QStringLiteral("Video converter for Linux"), ui::Skin::Font(12), ui::colors::kDisabledText, 170, this);

  support_ = new CHyperLink(QStringLiteral("Support"), SupportAddress(servers_), this);
  support_->setFont(ui::Skin::Font(13));
  support_->SetUnderline(true);
  support_->SetColors(QColor(143, 220, 255), QColor(201, 170, 255), ui::colors::kText);
  support_->setAlignment(Qt::AlignCenter);
  support_->setGeometry((kWidth - 120) / 2, 204, 120, 22);

  status_ = CentredLabel(QString(), ui::Skin::Font(12), ui::colors::kDisabledText, 248, this);

  check_ = new ui::CGPImageButton(QString(), QStringLiteral("Check Upgrade"), this);
  check_->setText(QStringLiteral("Check Upgrade"));
  check_->setGeometry(46, 300, 130, 31);
  connect(check_, &QAbstractButton::clicked, this, &CAboutDlg::OnCheckUpgrade);

  ok_ = new ui::CGPImageButton(QString(), QStringLiteral("OK"), this);
  ok_->setText(QStringLiteral("OK"));
  ok_->setGeometry(kWidth - 46 - 100, 300, 100, 31);
  connect(ok_, &QAbstractButton::clicked, this, &QDialog::accept);
  ok_->setFocus();
}

CAboutDlg::~CAboutDlg() { StopCheck(); }

void CAboutDlg::done(int result) {
  StopCheck();
  ui::CImgDialogBase::done(result);
}

void CAboutDlg::paintEvent(QPaintEvent* event) {
  ui::CImgDialogBase::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  ui::Skin::PaintArt(painter, QStringLiteral("icon"), QString(),
                     QRectF((kWidth - kIconSize) / 2.0, kIconTop, kIconSize, kIconSize));
}

void CAboutDlg::OnCheckUpgrade() {
  if (Checking()) return;
  MLOG("Enter: CAboutDlg::OnCheckUpgrade");
  cancel_ = false;
  check_->setEnabled(false);
  status_->setText(QStringLiteral("Looking for a newer version..."));
  QApplication::setOverrideCursor(Qt::WaitCursor);
  waitCursor_ = true;
  worker_ = std::thread([this, servers = servers_, limits = limits_] {
    UpgradeResult result = RunUpgradeCheck(servers, limits, &cancel_);
    {
      std::lock_guard<std::mutex> lock(finishedMutex_);
      finished_ = std::move(result);
    }
    // Runs on the window's thread; dropped if the window is gone by then
    // (StopCheck has dealt with the result).
    QMetaObject::invokeMethod(this, [this] { OnCheckDone(); }, Qt::QueuedConnection);
  });
}

std::optional<UpgradeResult> CAboutDlg::TakeFinished() {
  std::lock_guard<std::mutex> lock(finishedMutex_);
  std::optional<UpgradeResult> result = std::move(finished_);
  finished_.reset();
  return result;
}

void CAboutDlg::EndWorker(bool cancel) {
  if (worker_.joinable()) {
    if (cancel) cancel_ = true;
    worker_.join();
  }
  if (waitCursor_) {
    QApplication::restoreOverrideCursor();
    waitCursor_ = false;
  }
}

void CAboutDlg::StopCheck() {
  EndWorker(true);
  // A check that finished but was never shown: its folder goes now.
  if (std::optional<UpgradeResult> unshown = TakeFinished()) RemoveTree(unshown->whatsNewFolder);
}

void CAboutDlg::OnCheckDone() {
  std::optional<UpgradeResult> finished = TakeFinished();
  if (!finished) return;  // the closing box has dealt with it
  EndWorker(false);
  const UpgradeResult& result = *finished;
  // The unpacked page is removed however this ends, the page's window included.
  struct RemovedAtEnd {
    std::string folder;
    ~RemovedAtEnd() { RemoveTree(folder); }
  } removed{result.whatsNewFolder};
  check_->setEnabled(true);
  status_->clear();
  auto notice = [this](const char* text) {
    ui::CDlgMessageBox::Show(QString::fromUtf8(text), ui::kMbOk | ui::kMbIconInformation, this);
  };
  switch (result.outcome) {
    case UpgradeOutcome::kNoServer: notice(kNoUpgradeServerText); break;
    case UpgradeOutcome::kCannotConnect: notice(kCannotConnectText); break;
    case UpgradeOutcome::kUpToDate: notice(kUpToDateText); break;
    case UpgradeOutcome::kOfferDownloadPage:
      if (ui::CDlgMessageBox::Show(QString::fromStdString(result.question), ui::kMbYesNo | ui::kMbIconQuestion,
                                   this) == ui::kIdFirst)
        OpenLink(servers_.DownloadPageUrl());
      break;
    case UpgradeOutcome::kShowWhatsNew: {
      CWhatsNewDlg page(QString::fromStdString(result.whatsNewPage), this);
      page.exec();
      break;
    }
    case UpgradeOutcome::kNothingToShow:
    case UpgradeOutcome::kCancelled: break;
  }
  MLOG("Leave: CAboutDlg::OnCheckUpgrade, outcome %d", static_cast<int>(result.outcome));
  emit checkFinished(static_cast<int>(result.outcome));
}

}  // namespace mivora
