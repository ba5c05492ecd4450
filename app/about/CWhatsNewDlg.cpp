#include "app/about/CWhatsNewDlg.h"

#include <QTextBrowser>
#include <QUrl>

#include "net/OpenLink.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {

CWhatsNewDlg::CWhatsNewDlg(const QString& pagePath, QWidget* parent)
    : ui::CImgDialogBase(QSize(560, 440), QStringLiteral("What's New"), parent) {
  close_ = AddCaptionButton(ui::CaptionButton::kClose);
  connect(close_, &QAbstractButton::clicked, this, &QDialog::reject);
  browser_ = new QTextBrowser(this);
  browser_->setGeometry(12, kTitleBandHeight + 4, width() - 24, height() - kTitleBandHeight - 16);
  browser_->setOpenLinks(false);
  browser_->setStyleSheet(QStringLiteral("QTextBrowser { background: %1; color: %2; border: 1px solid %3; }")
                              .arg(ui::colors::kListBase.name(), ui::colors::kListText.name(),
                                   ui::colors::kBorder.name()));
  // Web links leave for the browser; the page's own files stay in the window.
  connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
      OpenLink(url.toString().toStdString());
    else if (url.isLocalFile() || url.isRelative())
      browser_->setSource(url);
  });
  browser_->setSource(QUrl::fromLocalFile(pagePath));
}

}  // namespace mivora
