#include "app/main/SourceListKeeper.h"

#include <QTimer>

#include "app/main/CMainDlg.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"

namespace mivora {

namespace {

// Files that could not come back named in the message, at most.
constexpr int kNotRestoredNamed = 20;

std::vector<std::string> Std(const QStringList& paths) {
  std::vector<std::string> out;
  for (const QString& path : paths) out.push_back(path.toStdString());
  return out;
}

}  // namespace

SourceListKeeper::SourceListKeeper(CMainDlg& window, std::string path)
    : window_(window), session_(window.Session()), path_(std::move(path)) {
  session_.KeepListAt(path_);
  debounce_ = new QTimer(this);
  debounce_->setSingleShot(true);
  debounce_->setInterval(static_cast<int>(SourceSession::kSaveDelay.count()));
  connect(debounce_, &QTimer::timeout, this, &SourceListKeeper::SaveIfChanged);
  poll_ = new QTimer(this);
  poll_->setInterval(static_cast<int>(SourceSession::kSaveCheckEvery.count()));
  connect(poll_, &QTimer::timeout, this, &SourceListKeeper::SaveIfChanged);
  connect(&window_, &CMainDlg::SourcesChanged, this, [this] {
    if (session_.ListChanged() && !debounce_->isActive()) debounce_->start();
  });
  connect(&window_, &CMainDlg::SourcesConverted, this,
          [this](const QStringList& paths) { session_.Converted(Std(paths)); });
  connect(&window_, &CMainDlg::SourceConverted, this,
          [this](const QString& path) { session_.Converted({path.toStdString()}); });
  connect(&window_, &CMainDlg::RunStarting, this, [this] { session_.RunStarting(); });
}

SourceListKeeper::~SourceListKeeper() {
  // A restore still under way tells nobody when it ends.
  session_.ForgetRestoreListener();
}

bool SourceListKeeper::Restoring() const { return session_.Restoring(); }
int SourceListKeeper::Saves() const { return session_.Saves(); }
void SourceListKeeper::SaveIfChanged() { session_.SaveIfChanged(); }

void SourceListKeeper::StartSaving() {
  session_.StartSaving();
  poll_->start();
}

void SourceListKeeper::MarkCleanExit() {
  poll_->stop();
  debounce_->stop();
  session_.MarkCleanExit();
}

void SourceListKeeper::TellRefused(const SavedListOffer& offer) {
  const QString kept = offer.keptAs.empty()
                           ? QStringLiteral("It was left where it is, and the list is not kept during this run.")
                           : QStringLiteral("It was kept as %1.").arg(QString::fromStdString(offer.keptAs));
  ui::CDlgMessageBox::Show(QStringLiteral("Mivora could not read its saved list of files %1 (%2), so it cannot "
                                          "offer those files back; add them again if you need them. %3")
                               .arg(QString::fromStdString(path_), QString::fromStdString(offer.why), kept),
                           ui::kMbOk | ui::kMbIconInformation, &window_);
}

void SourceListKeeper::OfferRestore() {
  const SavedListOffer offer = session_.OpenSavedList();
  if (offer.kind == SavedListOffer::Kind::kRefused) TellRefused(offer);
  if (offer.kind != SavedListOffer::Kind::kOffered) return;
  const QString question = QString::fromLatin1(kRestoreQuestion).arg(offer.files);
  if (ui::CDlgMessageBox::Show(question, ui::kMbYesNo | ui::kMbIconQuestion, &window_) != ui::kIdFirst) return;
  // The end is told on a later turn of the event loop, outside the session's call.
  session_.Restore([this](const std::vector<std::string>& notRestored) {
    QMetaObject::invokeMethod(this, [this, notRestored] { OnRestoreEnded(notRestored); }, Qt::QueuedConnection);
  });
}

void SourceListKeeper::OnRestoreEnded(const std::vector<std::string>& notRestored) {
  if (!notRestored.empty()) {
    QStringList named;
    for (size_t i = 0; i < notRestored.size() && named.size() < kNotRestoredNamed; ++i)
      named << QString::fromStdString(notRestored[i]);
    if (notRestored.size() > static_cast<size_t>(kNotRestoredNamed))
      named << QStringLiteral("... (%1 more)").arg(notRestored.size() - kNotRestoredNamed);
    ui::CDlgMessageBox::Show(QStringLiteral("These files could not be restored:\n") + named.join(QLatin1Char('\n')),
                             ui::kMbOk | ui::kMbIconInformation, &window_);
  }
  emit restoreFinished();
}

}  // namespace mivora
