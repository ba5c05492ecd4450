#pragma once
// A skinned pop-up menu: the skin's list colours, its font, a light frame,
// highlighted entries in the selection colour, and a vector tick and sub-menu
// arrow, so every menu of the program has one look at any pixel ratio.

#include <QMenu>

namespace mivora::ui {

class BCMenu : public QMenu {
  Q_OBJECT

 public:
  explicit BCMenu(QWidget* parent = nullptr);
  BCMenu(const QString& title, QWidget* parent);
};

}  // namespace mivora::ui
