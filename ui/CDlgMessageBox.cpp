#include "ui/CDlgMessageBox.h"

#include <QFontMetrics>
#include <QPainter>

#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora::ui {

namespace {

constexpr int kWidth = 380;
constexpr int kPictureSize = 40;
constexpr int kMargin = 20;
constexpr int kButtonWidth = 81;
constexpr int kButtonHeight = 31;
constexpr int kMinTextHeight = kPictureSize;

bool HasTwoButtons(unsigned style) {
  const unsigned buttons = style & 0xF;
  return buttons == kMbYesNo || buttons == kMbOkCancel;
}

QString PictureOf(unsigned style) {
  if (style & kMbIconQuestion) return QStringLiteral("msg_question");
  if (style & kMbIconStop) return QStringLiteral("msg_error");
  return QStringLiteral("msg_information");
}

}  // namespace

CDlgMessageBox::CDlgMessageBox(const QString& text, unsigned style, QWidget* parent)
    : CImgDialogBase(QSize(kWidth, 160), QString::fromLatin1(kProductName), parent),
      text_(text),
      style_(style),
      picture_(PictureOf(style)) {
  // The box grows downwards for long texts; the width stays.
  const int textLeft = kMargin + kPictureSize + 16;
  const int textWidth = kWidth - textLeft - kMargin;
  const QFontMetrics metrics(Skin::Font(13));
  const QRect needed = metrics.boundingRect(QRect(0, 0, textWidth, 10000), Qt::TextWordWrap, text_);
  const int textHeight = std::max(kMinTextHeight, needed.height());
  const int top = kTitleBandHeight + kMargin;
  textRect_ = QRect(textLeft, top, textWidth, textHeight);
  const int buttonTop = top + textHeight + kMargin;
  setFixedSize(kWidth, buttonTop + kButtonHeight + 14);

  const bool yesNo = (style & 0xF) == kMbYesNo;
  first_ = new CGPImageButton(this);
  first_->setText(yesNo ? QStringLiteral("Yes") : QStringLiteral("OK"));
  connect(first_, &QAbstractButton::clicked, this, [this] { done(kIdFirst); });
  if (HasTwoButtons(style)) {
    second_ = new CGPImageButton(this);
    second_->setText(yesNo ? QStringLiteral("No") : QStringLiteral("Cancel"));
    connect(second_, &QAbstractButton::clicked, this, [this] { done(kIdSecond); });
    const int left = (kWidth - 2 * kButtonWidth - 16) / 2;
    first_->setGeometry(left, buttonTop, kButtonWidth, kButtonHeight);
    second_->setGeometry(left + kButtonWidth + 16, buttonTop, kButtonWidth, kButtonHeight);
  } else {
    first_->setGeometry((kWidth - kButtonWidth) / 2, buttonTop, kButtonWidth, kButtonHeight);
  }
  first_->setFocus();
  setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
}

int CDlgMessageBox::DoModal() {
  if (parentWidget()) {
    const QRect owner = parentWidget()->window()->frameGeometry();
    move(owner.center() - QPoint(width() / 2, height() / 2));
  }
  const int answer = exec();
  return answer == kIdFirst || answer == kIdSecond ? answer : (second_ ? kIdSecond : kIdFirst);
}

int CDlgMessageBox::Show(const QString& text, unsigned style, QWidget* parent) {
  CDlgMessageBox box(text, style, parent);
  return box.DoModal();
}

void CDlgMessageBox::OnEnterKey() { done(kIdFirst); }

void CDlgMessageBox::OnEscapeKey() { done(second_ ? kIdSecond : kIdFirst); }

void CDlgMessageBox::paintEvent(QPaintEvent* event) {
  CImgDialogBase::paintEvent(event);
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  Skin::PaintArt(painter, picture_, QString(),
                 QRectF(kMargin, textRect_.top(), kPictureSize, kPictureSize));
  painter.setFont(Skin::Font(13));
  painter.setPen(colors::kText);
  const int flags = Qt::TextWordWrap | Qt::AlignLeft |
                    (textRect_.height() == kMinTextHeight ? Qt::AlignVCenter : Qt::AlignTop);
  painter.drawText(textRect_, flags, text_);
}

}  // namespace mivora::ui
