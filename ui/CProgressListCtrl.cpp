#include "ui/CProgressListCtrl.h"

#include <QHeaderView>
#include <QLinearGradient>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

#include "ui/CGPImageButton.h"
#include "ui/PlainCellDelegate.h"
#include "ui/Skin.h"

namespace mivora::ui {
namespace {

constexpr int kProgressRole = Qt::UserRole + 1;
constexpr int kOutcomeRole = Qt::UserRole + 2;
constexpr int kRowHeight = 26;

// Draws the progress column as a rounded bar with its percent.
class ProgressBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const int percent = index.data(kProgressRole).toInt();
    const QString outcome = index.data(kOutcomeRole).toString();
    const QRectF bar = QRectF(option.rect).adjusted(6, 6, -6, -6);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(colors::kButtonEdge, 1));
    painter->setBrush(colors::kListAlternate);
    painter->drawRoundedRect(bar, 3, 3);
    // A failed row shows its outcome word instead of a bar.
    const int filledPercent = outcome.isEmpty() ? percent : 0;
    QRectF filled = bar.adjusted(1, 1, -1, -1);
    filled.setWidth(filled.width() * filledPercent / 100.0);
    if (filledPercent > 0) {
      QLinearGradient fill(filled.topLeft(), filled.bottomLeft());
      fill.setColorAt(0.0, colors::kButtonTop);
      fill.setColorAt(1.0, colors::kButtonBottom);
      painter->setPen(Qt::NoPen);
      painter->setBrush(fill);
      painter->drawRoundedRect(filled, 2, 2);
    }
    // The number sits on the bar's middle: white where the fill lies under
    // it, list text on the rest, so each part stays readable.
    const QString text = outcome.isEmpty() ? QString::number(percent) + "%" : outcome;
    painter->setFont(Skin::Font(11, true));
    const QRectF light(filled.right(), bar.top(), bar.right() - filled.right(), bar.height());
    for (const auto& [clip, colour] : {std::pair{QRectF(bar.left(), bar.top(), filled.right() - bar.left(),
                                                        bar.height()), colors::kText},
                                       std::pair{light, colors::kListText}}) {
      painter->save();
      painter->setClipRect(clip);
      painter->setPen(colour);
      painter->drawText(bar, Qt::AlignCenter, text);
      painter->restore();
    }
    painter->restore();
  }
};

QString ListStyleSheet() {
  auto rgb = [](const QColor& c) { return c.name(QColor::HexRgb); };
  return QStringLiteral(
             "QTableWidget { background: %1; alternate-background-color: %2; color: %3;"
             "  border: 1px solid %4; selection-background-color: %5; selection-color: %6; }"
             "QHeaderView::section { background: %7; color: %6; border: none;"
             "  border-right: 1px solid %4; padding: 3px 4px; }"
             "QTableWidget QScrollBar:vertical { background: %2; width: 12px; margin: 0; }"
             "QTableWidget QScrollBar::handle:vertical { background: %4; min-height: 24px;"
             "  border-radius: 4px; margin: 2px; }"
             "QTableWidget QScrollBar::add-line, QTableWidget QScrollBar::sub-line { height: 0; }")
      .arg(rgb(colors::kListBase), rgb(colors::kListAlternate), rgb(colors::kListText),
           rgb(colors::kButtonBottom), rgb(colors::kSelection), rgb(colors::kText),
           rgb(colors::kListHeader));
}

}  // namespace

CProgressListCtrl::CProgressListCtrl(QWidget* parent) : QTableWidget(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAlternatingRowColors(true);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideLeft);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setFont(Skin::Font(12));
  setFont(Skin::Font(12));
  setFrameShape(QFrame::NoFrame);
  setItemDelegate(new PlainCellDelegate(this));
  setStyleSheet(ListStyleSheet());
}

void CProgressListCtrl::SetColumns(const QStringList& titles, const QList<int>& widths,
                                   int progressColumn, int buttonColumn,
                                   const QString& buttonText) {
  setColumnCount(titles.size());
  setHorizontalHeaderLabels(titles);
  widths_ = widths;
  progressColumn_ = progressColumn;
  buttonColumn_ = buttonColumn;
  buttonText_ = buttonText;
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (int column = 0; column < widths.size() && column < titles.size(); ++column)
    setColumnWidth(column, widths[column]);
  setItemDelegateForColumn(progressColumn, new ProgressBarDelegate(this));
  FitFirstColumn();
}

void CProgressListCtrl::FitFirstColumn() {
  if (widths_.isEmpty()) return;
  int others = 0;
  for (int column = 1; column < widths_.size(); ++column) others += widths_[column];
  setColumnWidth(0, std::max(viewport()->width() - others, 60));
}

void CProgressListCtrl::resizeEvent(QResizeEvent* event) {
  QTableWidget::resizeEvent(event);
  FitFirstColumn();
}

int CProgressListCtrl::AddRow(const QStringList& texts) {
  const int row = rowCount();
  insertRow(row);
  for (int column = 0; column < columnCount(); ++column) {
    auto* cell = new QTableWidgetItem(column < texts.size() ? texts[column] : QString());
    if (column == 0) cell->setToolTip(cell->text());
    if (column == progressColumn_) cell->setData(kProgressRole, 0);
    setItem(row, column, cell);
  }
  if (buttonColumn_ >= 0) {
    auto* holder = new QWidget;
    auto* button = new CGPImageButton(holder);
    button->setObjectName("rowButton");
    button->setText(buttonText_);
    button->setFont(Skin::Font(11, true));
    button->setFocusPolicy(Qt::NoFocus);
    button->setGeometry(8, 3, widths_.value(buttonColumn_, 80) - 16, kRowHeight - 6);
    connect(button, &QAbstractButton::clicked, this, [this, holder] {
      // Rows move up as earlier rows go, so the row is looked up at the click.
      for (int r = 0; r < rowCount(); ++r) {
        if (cellWidget(r, buttonColumn_) == holder) {
          emit rowButtonClicked(r);
          return;
        }
      }
    });
    setCellWidget(row, buttonColumn_, holder);
  }
  return row;
}

void CProgressListCtrl::RemoveRow(int row) {
  if (ValidRow(row)) removeRow(row);
}

void CProgressListCtrl::SetOutcome(int row, const QString& word, const QString& why) {
  if (!ValidRow(row) || progressColumn_ < 0) return;
  if (QTableWidgetItem* cell = item(row, progressColumn_)) {
    cell->setData(kOutcomeRole, word);
    cell->setText(word);  // what a screen reader reads
  }
  for (int column = 0; column < columnCount(); ++column)
    if (QTableWidgetItem* cell = item(row, column)) cell->setToolTip(why);
}

QString CProgressListCtrl::Outcome(int row) const {
  if (!ValidRow(row) || progressColumn_ < 0) return {};
  QTableWidgetItem* cell = item(row, progressColumn_);
  return cell ? cell->data(kOutcomeRole).toString() : QString();
}

void CProgressListCtrl::SetProgress(int row, int percent) {
  if (!ValidRow(row) || progressColumn_ < 0) return;
  if (QTableWidgetItem* cell = item(row, progressColumn_))
    cell->setData(kProgressRole, std::clamp(percent, 0, 100));
}

int CProgressListCtrl::Progress(int row) const {
  if (!ValidRow(row) || progressColumn_ < 0) return 0;
  const QTableWidgetItem* cell = item(row, progressColumn_);
  return cell ? cell->data(kProgressRole).toInt() : 0;
}

void CProgressListCtrl::SetCellText(int row, int column, const QString& text) {
  if (!ValidRow(row)) return;
  if (QTableWidgetItem* cell = item(row, column)) cell->setText(text);
}

QString CProgressListCtrl::CellText(int row, int column) const {
  const QTableWidgetItem* cell = ValidRow(row) ? item(row, column) : nullptr;
  return cell ? cell->text() : QString();
}

void CProgressListCtrl::SetButtonEnabled(int row, bool enabled) {
  if (QAbstractButton* button = RowButton(row)) button->setEnabled(enabled);
}

QAbstractButton* CProgressListCtrl::RowButton(int row) const {
  if (!ValidRow(row) || buttonColumn_ < 0) return nullptr;
  QWidget* holder = cellWidget(row, buttonColumn_);
  return holder ? holder->findChild<QAbstractButton*>("rowButton") : nullptr;
}

}  // namespace mivora::ui
