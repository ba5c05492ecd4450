#include "app/editor/EditorWindow.h"

#include <QLabel>
#include <QMouseEvent>
#include <QStackedWidget>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorPanes.h"
#include "app/editor/TransportControls.h"
#include "common/Log.h"
#include "platform/PlayerSharedBlock.h"
#include "preview/PlayStatic.h"
#include "profiles/EngineArguments.h"
#include "profiles/Profile.h"
#include "profiles/HdrOutput.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora {

EditorWindow* EditorWindow::current_ = nullptr;

namespace {

constexpr QRect kLeftPane(14, 36, 322, 204);
constexpr QRect kRightPane(349, 36, 322, 204);
constexpr QRect kPageArea(14, 314, 657, 172);
const char* const kTabCaptions[EditorWindow::kPageCount] = {"Trim", "Crop", "Effects", "Text", "Picture", "3D"};

// The size of the source frame as shown, from the player's status text
// ("<width>x<height>"); empty when it does not tell.
QSize StatusFrameSize(const char* status) {
  if (status == nullptr) return {};
  const std::string text(status, strnlen(status, playerblock::kStatusBytes));
  const size_t open = text.find('<');
  const size_t cross = open == std::string::npos ? open : text.find('x', open);
  if (cross == std::string::npos || text.find('>', cross) == std::string::npos) return {};
  const long width = std::strtol(text.c_str() + open + 1, nullptr, 10);
  const long height = std::strtol(text.c_str() + cross + 1, nullptr, 10);
  if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return {};
  return QSize(static_cast<int>(width), static_cast<int>(height));
}

// The right pane shows the frame the item's profile writes (the source's
// own format when the profile cannot be read).
void SetOutputFormat(EditorFrameHandler& handler, const std::string& profilePath, const PictureShape& sourceShape) {
  Profile profile;
  if (!profilePath.empty() && profile.Load(profilePath))
    handler.SetOutputFormat(FrameFormatOf(profile), sourceShape.sampleAspectNum, sourceShape.sampleAspectDen);
  else
    handler.SetOutputFormat({}, sourceShape.sampleAspectNum, sourceShape.sampleAspectDen);
}

}  // namespace

EditorWindow::EditorWindow(SourceList& list, size_t row, QWidget* parent)
    : CImgDialogBase(QSize(685, 500), QStringLiteral("Edit the video"), parent), list_(list), row_(row) {
  MLOG("Enter: EditorWindow::EditorWindow");
  std::string path, profilePath;
  PictureShape sourceShape;
  bool keepsHdr = false;
  list_.Update(row_, [&](SourceItem& item) {
    path = item.sourcePath;
    profilePath = item.profilePath;
    keepsHdr = ArgumentsKeepHdr(item.engineArgs);
    // The editor works in the source frame as shown: a track turned a
    // quarter shows its frame with the sides exchanged.
    const DisplayedSize shown = DisplayedFrameSize(item.mediaInfo.video);
    sourceShape = DisplayedPictureShape(item.mediaInfo.video);
    model_ = std::make_unique<EditorModel>(item.editSettings.get(), shown.width, shown.height);
  });
  SetOutputFormat(handler_, profilePath, sourceShape);
  if (!model_) model_ = std::make_unique<EditorModel>(nullptr, 0, 0);
  MLOG("EditorWindow::EditorWindow, File: %s", path.c_str());

  BuildPanes(path);
  if (keepsHdr) AddHdrNote();
  BuildPages();
  ui::CGPImageButton* close = AddCaptionButton(ui::CaptionButton::kClose);
  connect(close, &QAbstractButton::clicked, this, &QDialog::reject);
  ShowPage(kTrimPage);
  current_ = this;
  // The first frame shows in both panes at once, before anything plays.
  player_->m_pfnFrameCallback = &EditorWindow::ForwardFrame;
  player_->ShowFirstFrame(path.c_str());
}

void EditorWindow::BuildPanes(const std::string& path) {
  player_ = new CPlayStatic(this);
  player_->setObjectName("leftPane");
  player_->MoveWindow(kLeftPane.x(), kLeftPane.y(), kLeftPane.width(), kLeftPane.height());
  player_->installEventFilter(this);
  band_ = new CropBand(player_);
  band_->hide();

  rightPane_ = new EditorPane(this);
  rightPane_->setObjectName("rightPane");
  rightPane_->setGeometry(kRightPane);

  TransportControls::Layout layout{QRect(14, 249, 250, 21), QRect(270, 248, 64, 23), QRect(349, 246, 28, 28),
                                   QRect(385, 246, 28, 28)};
  transport_ = new TransportControls(this, *player_, path, layout, &EditorWindow::ForwardFrame,
                                     /*resetSliderOnStop=*/false);
}

void EditorWindow::BuildPages() {
  auto* stack = new QStackedWidget(this);
  stack->setGeometry(kPageArea);
  pages_ = {new TrimPage(*this), new CropPage(*this), new EffectsPage(*this),
            new TextPage(*this), new PicturePage(*this), new StereoPage(*this)};
  for (int page = 0; page < kPageCount; ++page) {
    stack->addWidget(pages_[page]);
    auto* tab = new ui::CGPImageButton(this);
    tab->setText(QString::fromLatin1(kTabCaptions[page]));
    tab->setGeometry(14 + 110 * page, 282, 104, 26);
    connect(tab, &QAbstractButton::clicked, this, [this, page] { ShowPage(page); });
    tabs_[page] = tab;
  }
  stackWidget_ = stack;
}

// The right pane shows the file as an SDR screen would (tone-mapped, as the
// player maps PQ and HLG), while the profile writes an HDR source as HDR:
// the window says so, beside the transport controls.
void EditorWindow::AddHdrNote() {
  auto* note = new QLabel(QString::fromLatin1(kKeepsHdrNote), this);
  note->setObjectName("hdrNote");
  note->setGeometry(420, 246, 251, 28);
  note->setWordWrap(true);
  note->setFont(ui::Skin::Font(10));
  note->setStyleSheet(QStringLiteral("color: white;"));
}

EditorWindow::~EditorWindow() {
  if (current_ == this) current_ = nullptr;
  player_->m_pfnFrameCallback = nullptr;
}

void EditorWindow::showEvent(QShowEvent* event) {
  CImgDialogBase::showEvent(event);
  current_ = this;
}

void EditorWindow::ShowPage(int page) {
  if (page < 0 || page >= kPageCount) return;
  currentPage_ = page;
  stackWidget_->setCurrentIndex(page);
  pages_[page]->Refresh();
  for (int i = 0; i < kPageCount; ++i) tabs_[i]->setDown(i == page);
  band_->setVisible(page == kCropPage);
  if (page == kCropPage) CropChanged();
}

std::string EditorWindow::ClockText() const { return transport_->TimeLabel()->text().toStdString(); }

void EditorWindow::StoreEdits() {
  bool found = list_.Update(row_, [&](SourceItem& item) { model_->SaveInto(item.editSettings); });
  if (!found) MLOG("EditorWindow::StoreEdits, row %zu is gone; edits not stored", row_);
  saved_ = saved_ || found;
  // Saving may have switched a vanished picture off.
  for (EditorPage* page : pages_) page->Refresh();
}

void EditorWindow::SaveEdits() {
  MLOG("Enter: EditorWindow::SaveEdits");
  StoreEdits();
  ui::CDlgMessageBox::Show(QString::fromLatin1(kSavedMessage), ui::kMbOk | ui::kMbIconInformation, this);
}

void EditorWindow::done(int result) {
  if (closing_) return;
  closing_ = true;
  if (model_->ShouldAskOnClose() &&
      ui::CDlgMessageBox::Show(QString::fromLatin1(kAskSave), ui::kMbYesNo | ui::kMbIconQuestion, this) ==
          ui::kIdFirst) {
    StoreEdits();
  }
  player_->m_pfnFrameCallback = nullptr;
  player_->DestroyWindow();
  if (current_ == this) current_ = nullptr;
  CImgDialogBase::done(result);
}

void EditorWindow::PlaceBand() {
  const QRect picture = player_->PictureRect();
  band_->SetBand(model_->CropBand(picture.width(), picture.height()), picture);
}

void EditorWindow::CropChanged() {
  PlaceBand();
  EditsChanged();
}

void EditorWindow::EditsChanged() { RenderLastFrame(); }

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != player_ || currentPage_ != kCropPage) return CImgDialogBase::eventFilter(watched, event);
  auto* mouse = dynamic_cast<QMouseEvent*>(event);
  if (!mouse) return CImgDialogBase::eventFilter(watched, event);
  // The band is drawn on the picture, which the pane shows with its shape.
  const QRect picture = player_->PictureRect();
  const QPoint at = mouse->position().toPoint() - picture.topLeft();
  if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
    drawingBand_ = true;
    bandOrigin_ = at;
    return true;
  }
  if ((event->type() == QEvent::MouseMove || event->type() == QEvent::MouseButtonRelease) && drawingBand_) {
    band_->SetBand({std::min(bandOrigin_.x(), at.x()), std::min(bandOrigin_.y(), at.y()),
                    std::abs(at.x() - bandOrigin_.x()), std::abs(at.y() - bandOrigin_.y())},
                   picture);
    if (event->type() == QEvent::MouseButtonRelease) {
      drawingBand_ = false;
      if (model_->SetCropFromBand(band_->Band(), picture.width(), picture.height())) pages_[kCropPage]->Refresh();
      CropChanged();  // the band shows the crop that was taken
    }
    return true;
  }
  return CImgDialogBase::eventFilter(watched, event);
}

int EditorWindow::ForwardFrame(int, YuvPlanes* planes, int width, int height) {
  if (current_ && planes) current_->OnFrame(*planes, width, height);
  return 0;
}

void EditorWindow::OnFrame(const YuvPlanes& planes, int width, int height) {
  if (width <= 0 || height <= 0) return;
  // Frames too large for the player's block arrive scaled down, so their
  // size is not the source's. The player's status tells the source frame as
  // shown; it replaces the model's size only where the probe gave none or
  // another one (the frame's own size is the last resort).
  QSize shown = StatusFrameSize(player_->m_pszStatus);
  if (shown.isEmpty() && !model_->FrameSizeKnown()) shown = QSize(width, height);
  if (!shown.isEmpty() && shown != QSize(model_->FrameWidth(), model_->FrameHeight())) {
    MLOG("EditorWindow::OnFrame, the source frame is %dx%d, not %dx%d", shown.width(), shown.height(),
         model_->FrameWidth(), model_->FrameHeight());
    model_->SetFrameSize(shown.width(), shown.height());
    pages_[currentPage_]->Refresh();
  }
  // The picture's place in the pane is known from the first frame on.
  if (currentPage_ == kCropPage && band_->geometry() != player_->PictureRect()) PlaceBand();
  handler_.Render(model_->Working(), planes, width, height, QSize(model_->FrameWidth(), model_->FrameHeight()),
                  rightPane_->size(), player_->m_nFrameColour);
  rightPane_->SetPicture(handler_.Picture());
  emit frameRendered(++framesRendered_);
}

void EditorWindow::RenderLastFrame() {
  handler_.Rerender(model_->Working(), rightPane_->size());
  if (!handler_.Picture().isNull()) rightPane_->SetPicture(handler_.Picture());
}

}  // namespace mivora
