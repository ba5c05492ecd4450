#pragma once
// A skinned pick-only drop-down: a light field with the selected item and a
// gradient arrow button at its right end, drawn with vector shapes so it stays
// sharp at any pixel ratio; its pop-up list uses the skin's list colours.
// Users pick items; SetTypable(true) lets them type a text as well.

#include <QComboBox>

namespace mivora::ui {

class CGPComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CGPComboBox(QWidget* parent = nullptr);
  CGPComboBox(const QString& toolTip, QWidget* parent);

  // A typable drop-down shows a text field in place of the picked item.
  void SetTypable(bool typable);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceLineEdit();
};

}  // namespace mivora::ui
