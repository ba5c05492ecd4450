#pragma once
// The what's-new window: the unpacked "newver.html" with its pictures in a
// text browser (no scripts, nothing fetched from the network), and a close
// button. Web links in the page open in the user's browser.

#include <QString>

#include "ui/CImgDialogBase.h"

class QTextBrowser;

namespace mivora {

namespace ui {
class CGPImageButton;
}

class CWhatsNewDlg : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  CWhatsNewDlg(const QString& pagePath, QWidget* parent);

  QTextBrowser* Browser() const { return browser_; }
  ui::CGPImageButton* CloseButton() const { return close_; }

 protected:
  void OnEscapeKey() override { reject(); }

 private:
  QTextBrowser* browser_ = nullptr;
  ui::CGPImageButton* close_ = nullptr;
};

}  // namespace mivora
