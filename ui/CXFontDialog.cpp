#include "ui/CXFontDialog.h"

#include <QColorDialog>
#include <QFontComboBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>

#include "ui/CGPImageButton.h"
#include "ui/Skin.h"

namespace mivora::ui {
namespace {

QLabel* WhiteLabel(const QString& text, const QRect& where, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(where);
  label->setFont(Skin::Font(12));
  label->setStyleSheet(QStringLiteral("color: white;"));
  return label;
}

}  // namespace

CXFontDialog::CXFontDialog(const QString& face, int pixelSize, const QColor& color, int alpha, QWidget* parent)
    : CImgDialogBase(QSize(380, 300), QStringLiteral("Select Font"), parent), color_(color) {
  WhiteLabel(QStringLiteral("Font:"), QRect(16, 52, 80, 22), this);
  face_ = new QFontComboBox(this);
  face_->setGeometry(100, 50, 260, 24);
  face_->setCurrentFont(QFont(face));

  WhiteLabel(QStringLiteral("Size:"), QRect(16, 86, 80, 22), this);
  size_ = new QSpinBox(this);
  size_->setRange(4, 400);
  size_->setSuffix(QStringLiteral(" px"));
  size_->setGeometry(100, 84, 90, 24);
  size_->setValue(pixelSize);

  colorButton_ = new CGPImageButton(this);
  colorButton_->setText(QStringLiteral("Color..."));
  colorButton_->setGeometry(270, 84, 90, 24);
  connect(colorButton_, &QAbstractButton::clicked, this, &CXFontDialog::PickColor);

  alphaLabel_ = WhiteLabel(QString(), QRect(16, 120, 120, 22), this);
  alpha_ = new QSlider(Qt::Horizontal, this);
  alpha_->setRange(0, 255);
  alpha_->setGeometry(140, 120, 220, 22);
  alpha_->setValue(alpha);

  sample_ = new QLabel(QString::fromLatin1(kSampleText), this);
  sample_->setGeometry(16, 156, 348, 88);
  sample_->setAlignment(Qt::AlignCenter);
  sample_->setAutoFillBackground(true);

  ok_ = new CGPImageButton(this);
  ok_->setText(QStringLiteral("OK"));
  ok_->setGeometry(196, 258, 76, 26);
  connect(ok_, &QAbstractButton::clicked, this, &QDialog::accept);
  cancel_ = new CGPImageButton(this);
  cancel_->setText(QStringLiteral("Cancel"));
  cancel_->setGeometry(284, 258, 76, 26);
  connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);

  connect(face_, &QFontComboBox::currentFontChanged, this, &CXFontDialog::ShowSample);
  connect(size_, &QSpinBox::valueChanged, this, &CXFontDialog::ShowSample);
  connect(alpha_, &QSlider::valueChanged, this, &CXFontDialog::ShowSample);
  ShowSample();
}

QString CXFontDialog::Face() const { return face_->currentFont().family(); }
int CXFontDialog::PixelSize() const { return size_->value(); }
int CXFontDialog::Alpha() const { return alpha_->value(); }

void CXFontDialog::SetColor(const QColor& color) {
  color_ = color;
  ShowSample();
}

void CXFontDialog::PickColor() {
  QColorDialog dialog(color_, this);
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() == QDialog::Accepted) SetColor(dialog.currentColor());
}

void CXFontDialog::ShowSample() {
  alphaLabel_->setText(QStringLiteral("Opacity: %1").arg(alpha_->value()));
  QFont font = face_->currentFont();
  font.setPixelSize(std::min(size_->value(), 72));
  sample_->setFont(font);
  QColor shown = color_;
  shown.setAlpha(alpha_->value());
  sample_->setStyleSheet(QStringLiteral("background: #e8eefc; color: %1;").arg(shown.name(QColor::HexArgb)));
}

}  // namespace mivora::ui
