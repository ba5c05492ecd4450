#pragma once
// The about box: the program's name and version, a "Support" link, and the
// on-demand upgrade check. The check runs on a thread of its own, so the box
// stays responsive; closing the box cancels it. Its outcome is shown here: a
// message, the question that leads to the download page, or the what's-new
// page. Whatever way the box closes, a folder the check unpacked is removed.

#include <QLabel>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "net/UpgradeCheck.h"
#include "ui/CImgDialogBase.h"

namespace mivora {

namespace ui {
class CGPImageButton;
}
class CHyperLink;

class CAboutDlg : public ui::CImgDialogBase {
  Q_OBJECT

 public:
  static constexpr int kWidth = 363;
  static constexpr int kHeight = 366;

  CAboutDlg(QWidget* parent, UpgradeServers servers = BuiltInUpgradeServers(), UpgradeLimits limits = {});
  ~CAboutDlg() override;

  QLabel* VersionLabel() const { return version_; }
  CHyperLink* SupportLink() const { return support_; }
  ui::CGPImageButton* CheckButton() const { return check_; }
  ui::CGPImageButton* OkButton() const { return ok_; }
  bool Checking() const { return worker_.joinable(); }

  // The address the "Support" link opens: the support page, or the user
  // guide beside the program when this build has no web site.
  static QString SupportAddress(const UpgradeServers& servers);

 signals:
  // After an outcome has been handled (tests wait for it).
  void checkFinished(int outcome);

 public slots:
  void OnCheckUpgrade();

 protected:
  void OnEscapeKey() override { reject(); }
  void done(int result) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnCheckDone();
  // Waits for the worker (cancelling it first when asked) and ends the wait cursor.
  void EndWorker(bool cancel);
  // Ends the check and removes what a finished one left unshown.
  void StopCheck();
  std::optional<UpgradeResult> TakeFinished();

  UpgradeServers servers_;
  UpgradeLimits limits_;
  QLabel* version_ = nullptr;
  QLabel* status_ = nullptr;
  CHyperLink* support_ = nullptr;
  ui::CGPImageButton* check_ = nullptr;
  ui::CGPImageButton* ok_ = nullptr;
  std::atomic<bool> cancel_{false};  // set by the window's thread, read by the worker
  std::thread worker_;               // started and joined by the window's thread
  std::mutex finishedMutex_;         // guards finished_
  std::optional<UpgradeResult> finished_;  // set by the worker, taken by the window's thread
  bool waitCursor_ = false;
};

}  // namespace mivora
