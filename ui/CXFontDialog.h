#pragma once
// "Select Font": the skinned font dialog of the text watermark. Besides the
// face, the height in pixels and the colour it has an opacity slider
// (0..255), and shows the sample text in the chosen font and colour.

#include <QColor>
#include <QString>

#include "ui/CImgDialogBase.h"

class QFontComboBox;
class QLabel;
class QSlider;
class QSpinBox;

namespace mivora::ui {

class CGPImageButton;

class CXFontDialog : public CImgDialogBase {
  Q_OBJECT

 public:
  static constexpr const char* kSampleText = "AaBbYyZz 0123456789";

  CXFontDialog(const QString& face, int pixelSize, const QColor& color, int alpha, QWidget* parent = nullptr);

  QString Face() const;
  int PixelSize() const;
  QColor Color() const { return color_; }
  int Alpha() const;
  void SetColor(const QColor& color);

  QFontComboBox* FaceBox() const { return face_; }
  QSpinBox* SizeBox() const { return size_; }
  QSlider* AlphaSlider() const { return alpha_; }
  CGPImageButton* ColorButton() const { return colorButton_; }
  CGPImageButton* OkButton() const { return ok_; }
  CGPImageButton* CancelButton() const { return cancel_; }

 protected:
  void OnEscapeKey() override { reject(); }

 private:
  void ShowSample();
  void PickColor();

  QFontComboBox* face_ = nullptr;
  QSpinBox* size_ = nullptr;
  QSlider* alpha_ = nullptr;
  QLabel* alphaLabel_ = nullptr;
  QLabel* sample_ = nullptr;
  QColor color_;
  CGPImageButton* colorButton_ = nullptr;
  CGPImageButton* ok_ = nullptr;
  CGPImageButton* cancel_ = nullptr;
};

}  // namespace mivora::ui
