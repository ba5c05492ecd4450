#pragma once
// The two small widgets of the editor's panes: the right pane that shows the
// rendered frame, and the crop band drawn over the left pane.

#include <QImage>
#include <QWidget>

#include "windowmodels/EditorModel.h"

namespace mivora {

// Shows a picture at its top-left corner on black.
class EditorPane : public QWidget {
  Q_OBJECT

 public:
  explicit EditorPane(QWidget* parent = nullptr);
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};

// The rubber band over the left pane's picture that mirrors the crop
// rectangle. It takes no mouse input: the editor draws it from the pane's
// mouse events.
class CropBand : public QWidget {
  Q_OBJECT

 public:
  explicit CropBand(QWidget* pane);
  // Covers `picture` (the picture's place in the pane) and places the band
  // in the picture's coordinates.
  void SetBand(const PaneRect& band, const QRect& picture);
  PaneRect Band() const { return band_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PaneRect band_;
};

}  // namespace mivora
