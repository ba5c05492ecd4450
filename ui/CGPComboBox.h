#pragma once
// A skinned pick-only drop-down: a light field with the selected item and a
// gradient arrow button at its right end, drawn with vector shapes so it stays
// sharp at any pixel ratio; its pop-up list uses the skin's list colours.
// Users pick items; nothing can be typed.

#include <QComboBox>

namespace mivora::ui {

class CGPComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CGPComboBox(QWidget* parent = nullptr);
  CGPComboBox(const QString& toolTip, QWidget* parent);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace mivora::ui
