#include "ui/BCMenu.h"

#include "ui/Skin.h"

namespace mivora::ui {
namespace {

QString MenuStyleSheet() {
  return QStringLiteral(
             "QMenu { background: %1; color: %2; border: 1px solid %3; padding: 3px 0; }"
             "QMenu::item { padding: 5px 26px 5px 26px; background: transparent; }"
             "QMenu::item:selected { background: %4; color: %5; }"
             "QMenu::item:disabled { color: %6; }"
             "QMenu::indicator { width: 14px; height: 14px; left: 6px; }"
             "QMenu::indicator:checked { image: url(:/menu/tick.svg); }"
             "QMenu::indicator:checked:selected { image: url(:/menu/tick_selected.svg); }"
             "QMenu::right-arrow { image: url(:/menu/arrow.svg); width: 8px; height: 8px; right: 8px; }"
             "QMenu::right-arrow:selected { image: url(:/menu/arrow_selected.svg); }"
             "QMenu::separator { height: 1px; background: %7; margin: 3px 8px; }")
      .arg(colors::kListBase.name(), colors::kListText.name(), colors::kButtonEdge.name(),
           colors::kSelection.name(), colors::kText.name(), colors::kDisabledText.name(),
           colors::kListAlternate.darker(110).name());
}

}  // namespace

BCMenu::BCMenu(QWidget* parent) : QMenu(parent) {
  setFont(Skin::Font(12));
  setStyleSheet(MenuStyleSheet());
}

BCMenu::BCMenu(const QString& title, QWidget* parent) : BCMenu(parent) { setTitle(title); }

}  // namespace mivora::ui
