#pragma once
// A list cell that draws no focus look of its own: the skinned lists show
// where the current row is by their row colours (and the source list by its
// own frame), so a focus rectangle inside a cell would only add noise.

#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>

namespace mivora::ui {

class PlainCellDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->state &= ~QStyle::State_HasFocus;
  }
};

}  // namespace mivora::ui
