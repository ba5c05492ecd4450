#include "ui/CRowButtonList.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include "ui/PlainCellDelegate.h"
#include "ui/RowButtonListAccessible.h"
#include "ui/Skin.h"

namespace mivora::ui {

namespace {

// Draws the button column: each button in its state, centred in its slot.
class ButtonColumnDelegate : public PlainCellDelegate {
 public:
  explicit ButtonColumnDelegate(CRowButtonList* list) : PlainCellDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    PlainCellDelegate::paint(painter, option, index);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool enabled = list_->isEnabled();
    const bool selected = option.state & QStyle::State_Selected;
    for (int action = 0; action < list_->ButtonCount(); ++action) {
      const QRect where = list_->ButtonRect(index.row(), action);
      QString state = QStringLiteral("normal");
      if (!enabled) state = QStringLiteral("disabled");
      else if (list_->IsPressed(index.row(), action)) state = QStringLiteral("pressed");
      else if (list_->IsHovered(index.row(), action)) state = QStringLiteral("hover");
      if (selected && state == QLatin1String("normal")) {
        // A light disc keeps the glyph readable on the selection colour.
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 215));
        painter->drawEllipse(QRectF(where).adjusted(1, 1, -1, -1));
      }
      Skin::PaintArt(*painter, list_->Button(action).art, state, QRectF(where));
    }
    painter->restore();
  }

 private:
  CRowButtonList* list_;
};

// Cuts long texts at their start, where a path's least telling part is.
class ElideStartDelegate : public PlainCellDelegate {
 public:
  using PlainCellDelegate::PlainCellDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    PlainCellDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideLeft;
  }
};

}  // namespace

void CRowButtonList::SetElideAtStart(int column) { setItemDelegateForColumn(column, new ElideStartDelegate(this)); }

CRowButtonList::CRowButtonList(const QStringList& headers, const QList<int>& widths, QList<RowButton> buttons,
                               QWidget* parent)
    : QTableWidget(0, static_cast<int>(headers.size()), parent), buttons_(std::move(buttons)) {
  InstallRowButtonListAccessibility();
  setHorizontalHeaderLabels(headers);
  for (int column = 0; column < widths.size(); ++column) setColumnWidth(column, widths[column]);
  // Text columns are widened by dragging their header edges (a double click
  // fits a column to its texts); the buttons keep their column's width, and a
  // scroll bar appears when the columns are wider than the list.
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setSectionResizeMode(columnCount() - 1, QHeaderView::Fixed);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setMinimumSectionSize(40);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setFixedHeight(24);
  verticalHeader()->hide();
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // Tab leaves the list for the next control; the arrow keys move in it.
  setTabKeyNavigation(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  setShowGrid(false);
  setAlternatingRowColors(true);
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setMouseTracking(true);
  setFrameShape(QFrame::NoFrame);
  setItemDelegate(new PlainCellDelegate(this));
  setItemDelegateForColumn(columnCount() - 1, new ButtonColumnDelegate(this));
  setStyleSheet(QStringLiteral(
      "QTableWidget { background: %1; alternate-background-color: %2; color: %3;"
      " selection-background-color: %4; selection-color: white; }"
      "QHeaderView::section { background: %5; color: white; border: none;"
      " border-right: 1px solid %6; padding-left: 6px; font-weight: bold; }"
      "QScrollBar:vertical { background: %2; width: 10px; margin: 0; }"
      "QScrollBar::handle:vertical { background: %4; border-radius: 4px; min-height: 24px; margin: 1px; }"
      "QScrollBar:horizontal { background: %2; height: 10px; margin: 0; }"
      "QScrollBar::handle:horizontal { background: %4; border-radius: 4px; min-width: 24px; margin: 1px; }"
      "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }")
                    .arg(colors::kListBase.name(), colors::kListAlternate.name(), colors::kListText.name(),
                         colors::kSelection.name(), colors::kListHeader.name(), colors::kPanel.lighter(150).name()));
}

int CRowButtonList::AppendRow(const QStringList& texts) {
  const int row = rowCount();
  insertRow(row);
  SetRowTexts(row, texts);
  return row;
}

void CRowButtonList::SetRowTexts(int row, const QStringList& texts) {
  for (int column = 0; column < columnCount() - 1; ++column) {
    const QString text = column < texts.size() ? texts[column] : QString();
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
      cell = new QTableWidgetItem;
      setItem(row, column, cell);
    }
    if (cell->text() != text) {
      cell->setText(text);
      cell->setToolTip(text);
    }
  }
}

QRect CRowButtonList::ButtonRect(int row, int action) const {
  const int buttonColumn = columnCount() - 1;
  const QRect cell = visualRect(model()->index(row, buttonColumn));
  const int slot = std::max(kButtonSize, cell.width() / std::max(1, ButtonCount()));
  const int left = cell.left() + action * slot + (slot - kButtonSize) / 2;
  const int top = cell.top() + (cell.height() - kButtonSize) / 2;
  return QRect(left, top, kButtonSize, kButtonSize);
}

int CRowButtonList::ButtonAt(const QPoint& pos, int* row) const {
  const int at = rowAt(pos.y());
  if (at < 0 || columnAt(pos.x()) != columnCount() - 1) return -1;
  for (int action = 0; action < ButtonCount(); ++action) {
    if (ButtonRect(at, action).contains(pos)) {
      if (row) *row = at;
      return action;
    }
  }
  return -1;
}

void CRowButtonList::SetHover(int row, int action) {
  if (row == hoverRow_ && action == hoverAction_) return;
  hoverRow_ = row;
  hoverAction_ = action;
  viewport()->update();
}

bool CRowButtonList::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    int row = -1;
    const int action = ButtonAt(help->pos(), &row);
    if (action >= 0) {
      QToolTip::showText(help->globalPos(), ButtonToolTip(action), viewport(), ButtonRect(row, action));
      return true;
    }
  } else if (event->type() == QEvent::Leave) {
    SetHover(-1, -1);
  }
  return QTableWidget::viewportEvent(event);
}

void CRowButtonList::mousePressEvent(QMouseEvent* event) {
  int row = -1;
  const int action = event->button() == Qt::LeftButton ? ButtonAt(event->position().toPoint(), &row) : -1;
  if (action >= 0) {
    pressRow_ = row;
    pressAction_ = action;
    viewport()->update();
    event->accept();
    return;
  }
  QTableWidget::mousePressEvent(event);
}

void CRowButtonList::mouseMoveEvent(QMouseEvent* event) {
  int row = -1;
  const int action = ButtonAt(event->position().toPoint(), &row);
  SetHover(action >= 0 ? row : -1, action);
  if (pressRow_ >= 0) {
    event->accept();
    return;
  }
  QTableWidget::mouseMoveEvent(event);
}

void CRowButtonList::mouseReleaseEvent(QMouseEvent* event) {
  if (pressRow_ < 0) {
    QTableWidget::mouseReleaseEvent(event);
    return;
  }
  int row = -1;
  const int action = ButtonAt(event->position().toPoint(), &row);
  const bool same = row == pressRow_ && action == pressAction_;
  pressRow_ = pressAction_ = -1;
  viewport()->update();
  event->accept();
  if (same) emit RowButtonClicked(row, action);
}

void CRowButtonList::paintEvent(QPaintEvent* event) {
  QTableWidget::paintEvent(event);
  const int row = currentRow();
  if (!hasFocus() || row < 0) return;
  const QRect frame = visualRect(model()->index(row, 0)).united(visualRect(model()->index(row, columnCount() - 1)));
  QPainter painter(viewport());
  painter.setPen(QPen(colors::kListHeader, 1, Qt::DotLine));
  painter.drawRect(frame.adjusted(0, 0, -1, -1));
}

void CRowButtonList::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableWidget::currentChanged(current, previous);
  viewport()->update();
}

void CRowButtonList::focusInEvent(QFocusEvent* event) {
  QTableWidget::focusInEvent(event);
  viewport()->update();
}

void CRowButtonList::focusOutEvent(QFocusEvent* event) {
  QTableWidget::focusOutEvent(event);
  viewport()->update();
}

QString CRowButtonList::ButtonToolTip(int action) const {
  const RowButton& button = buttons_[action];
  if (button.shortcut.isEmpty()) return button.toolTip;
  return QStringLiteral("%1 (%2)").arg(button.toolTip, button.shortcut.toString(QKeySequence::NativeText));
}

void CRowButtonList::TriggerButton(int row, int action) {
  if (row < 0 || row >= rowCount() || action < 0 || action >= ButtonCount() || !isEnabled()) return;
  emit RowButtonClicked(row, action);
}

void CRowButtonList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && selectionModel()->hasSelection()) {
    emit DeletePressed();
    event->accept();
    return;
  }
  const QKeySequence pressed(event->keyCombination());
  for (int action = 0; action < ButtonCount(); ++action) {
    if (buttons_[action].shortcut.isEmpty() || buttons_[action].shortcut != pressed) continue;
    event->accept();
    TriggerButton(currentRow(), action);
    return;
  }
  QTableWidget::keyPressEvent(event);
}

}  // namespace mivora::ui
