#include "ui/RowButtonListAccessible.h"

#include <QAccessibleWidget>
#include <QHeaderView>
#include <QPointer>
#include <map>
#include <tuple>

#include "ui/CRowButtonList.h"

namespace mivora::ui {
namespace {

enum class Part { kRow, kCell, kButton };

// A row, a text cell or a row button: not a widget of its own, so it is
// described by the list, its row and its place in the row.
class RowPartAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  RowPartAccessible(CRowButtonList* list, int row, Part part, int index)
      : list_(list), row_(row), part_(part), index_(index) {}

  bool isValid() const override { return list_ && row_ < list_->rowCount(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override;
  QAccessibleInterface* child(int index) const override;
  int childCount() const override { return part_ == Part::kRow && list_ ? TextColumns() + list_->ButtonCount() : 0; }
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override {
    return type == QAccessible::ActionInterface && part_ == Part::kButton ? static_cast<QAccessibleActionInterface*>(this)
                                                                         : nullptr;
  }

  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && isValid()) list_->TriggerButton(row_, index_);
  }
  QStringList keyBindingsForAction(const QString& name) const override {
    if (name != pressAction() || !list_ || list_->Button(index_).shortcut.isEmpty()) return {};
    return {list_->Button(index_).shortcut.toString(QKeySequence::NativeText)};
  }

  int Row() const { return row_; }
  Part Kind() const { return part_; }
  int Index() const { return index_; }

 private:
  int TextColumns() const { return list_->columnCount() - 1; }

  QPointer<CRowButtonList> list_;
  int row_;
  Part part_;
  int index_;
};

// The list itself: its children are its rows.
class ListAccessible : public QAccessibleWidget {
 public:
  explicit ListAccessible(CRowButtonList* list) : QAccessibleWidget(list, QAccessible::Table), list_(list) {}
  ~ListAccessible() override {
    for (const auto& [key, id] : parts_) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return list_ ? list_->rowCount() : 0; }
  QAccessibleInterface* child(int index) const override {
    return index >= 0 && index < childCount() ? PartOf(index, Part::kRow, 0) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    auto* part = dynamic_cast<const RowPartAccessible*>(child);
    return part && part->Kind() == Part::kRow ? part->Row() : -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    if (!list_) return nullptr;
    const int row = list_->rowAt(list_->viewport()->mapFromGlobal(QPoint(x, y)).y());
    return row >= 0 ? child(row) : nullptr;
  }

  // One interface per part, made when first asked for and kept with the list.
  QAccessibleInterface* PartOf(int row, Part kind, int index) const {
    const auto key = std::make_tuple(row, static_cast<int>(kind), index);
    auto found = parts_.find(key);
    if (found != parts_.end()) return QAccessible::accessibleInterface(found->second);
    auto* part = new RowPartAccessible(list_, row, kind, index);
    parts_[key] = QAccessible::registerAccessibleInterface(part);
    return part;
  }

 private:
  QPointer<CRowButtonList> list_;
  mutable std::map<std::tuple<int, int, int>, QAccessible::Id> parts_;
};

ListAccessible* ListOf(CRowButtonList* list) {
  return dynamic_cast<ListAccessible*>(QAccessible::queryAccessibleInterface(list));
}

QAccessibleInterface* RowPartAccessible::parent() const {
  if (!list_) return nullptr;
  ListAccessible* owner = ListOf(list_);
  if (part_ == Part::kRow || owner == nullptr) return owner;
  return owner->PartOf(row_, Part::kRow, 0);
}

QAccessibleInterface* RowPartAccessible::child(int index) const {
  ListAccessible* owner = list_ ? ListOf(list_) : nullptr;
  if (owner == nullptr || index < 0 || index >= childCount()) return nullptr;
  if (index < TextColumns()) return owner->PartOf(row_, Part::kCell, index);
  return owner->PartOf(row_, Part::kButton, index - TextColumns());
}

int RowPartAccessible::indexOfChild(const QAccessibleInterface* child) const {
  auto* part = dynamic_cast<const RowPartAccessible*>(child);
  if (part_ != Part::kRow || part == nullptr || part->Row() != row_) return -1;
  if (part->Kind() == Part::kCell) return part->Index();
  if (part->Kind() == Part::kButton) return TextColumns() + part->Index();
  return -1;
}

QString RowPartAccessible::text(QAccessible::Text t) const {
  if (!isValid()) return {};
  const int column = part_ == Part::kCell ? index_ : 0;
  const QTableWidgetItem* cell = list_->item(row_, column);
  const QString cellText = cell ? cell->text() : QString();
  switch (part_) {
    case Part::kRow: return t == QAccessible::Name ? cellText : QString();
    case Part::kCell:
      if (t == QAccessible::Name || t == QAccessible::Value) return cellText;
      if (t == QAccessible::Description) return list_->horizontalHeaderItem(column)->text();
      return {};
    case Part::kButton:
      if (t == QAccessible::Name) return list_->Button(index_).toolTip;
      if (t == QAccessible::Description) return list_->ButtonToolTip(index_);
      if (t == QAccessible::Accelerator) return list_->Button(index_).shortcut.toString(QKeySequence::NativeText);
      return {};
  }
  return {};
}

QRect RowPartAccessible::rect() const {
  if (!isValid()) return {};
  QRect where;
  const int lastColumn = list_->columnCount() - 1;
  if (part_ == Part::kRow) {
    where = list_->visualRect(list_->model()->index(row_, 0))
                .united(list_->visualRect(list_->model()->index(row_, lastColumn)));
  } else if (part_ == Part::kCell) {
    where = list_->visualRect(list_->model()->index(row_, index_));
  } else {
    where = list_->ButtonRect(row_, index_);
  }
  return QRect(list_->viewport()->mapToGlobal(where.topLeft()), where.size());
}

QAccessible::Role RowPartAccessible::role() const {
  switch (part_) {
    case Part::kRow: return QAccessible::Row;
    case Part::kCell: return QAccessible::Cell;
    case Part::kButton: return QAccessible::Button;
  }
  return QAccessible::NoRole;
}

QAccessible::State RowPartAccessible::state() const {
  QAccessible::State state;
  if (!isValid()) {
    state.invalid = true;
    return state;
  }
  const QRect shown = list_->viewport()->rect();
  const QRect local(list_->viewport()->mapFromGlobal(rect().topLeft()), rect().size());
  state.invisible = !list_->isVisible() || !shown.intersects(local);
  state.offscreen = state.invisible;
  state.disabled = !list_->isEnabled();
  if (part_ == Part::kRow) {
    state.selectable = true;
    state.selected = list_->selectionModel()->isRowSelected(row_, QModelIndex());
    state.focusable = true;
    state.focused = list_->hasFocus() && list_->currentRow() == row_;
  }
  return state;
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className != QLatin1String(CRowButtonList::staticMetaObject.className())) return nullptr;
  auto* list = qobject_cast<CRowButtonList*>(object);
  return list ? new ListAccessible(list) : nullptr;
}

}  // namespace

void InstallRowButtonListAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace mivora::ui
