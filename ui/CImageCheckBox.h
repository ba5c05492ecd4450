#pragma once
// An option box drawn from the skin's check-box image (its "unchecked" and
// "checked" parts) with its label beside it; a click on the box or the
// label flips it.

#include <QAbstractButton>

namespace mivora::ui {

class CImageCheckBox : public QAbstractButton {
  Q_OBJECT

 public:
  static constexpr int kBoxSide = 17;

  // The label starts `labelX` pixels right of the box's left edge.
  CImageCheckBox(const QString& label, int labelX, QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int labelX_;
};

}  // namespace mivora::ui
