#pragma once
// A skinned list view: text columns and a last column holding a row of image
// buttons in every row. A click on a button reports the row and the button's
// action number (its position, left to right); each button has its own
// tooltip, and may have a key that does the same for the current row (shown
// in the tooltip). Screen readers see every row with its cells and its
// buttons (RowButtonListAccessible). Columns can be widened by dragging
// their header edges. Rows are selected the usual way (click, Ctrl-click, Shift-click,
// Ctrl+A, Shift+arrows); a row button acts on its own row and leaves the
// selection alone. The Delete key asks for the selected rows to go.

#include <QKeySequence>
#include <QList>
#include <QTableWidget>

namespace mivora::ui {

struct RowButton {
  QString art;      // skin image with the four states
  QString toolTip;
  QKeySequence shortcut = {};  // acts on the current row; empty: none
};

class CRowButtonList : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kRowHeight = 26;
  static constexpr int kButtonSize = 22;

  // `headers` and `widths` name every column including the button column.
  CRowButtonList(const QStringList& headers, const QList<int>& widths, QList<RowButton> buttons,
                 QWidget* parent = nullptr);

  // Long texts are cut at the end, or in `column` at the start (paths).
  void SetElideAtStart(int column);
  // Each text cell's tooltip is its whole text unless set otherwise later.
  int AppendRow(const QStringList& texts);
  void SetRowTexts(int row, const QStringList& texts);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  // Where button `action` of `row` lies, in viewport coordinates.
  QRect ButtonRect(int row, int action) const;
  // The button under a viewport point (-1: none), and its row.
  int ButtonAt(const QPoint& pos, int* row) const;
  // For painting: the button under the mouse and the one held down.
  bool IsHovered(int row, int action) const { return hoverRow_ == row && hoverAction_ == action; }
  bool IsPressed(int row, int action) const { return pressRow_ == row && pressAction_ == action; }
  const RowButton& Button(int action) const { return buttons_[action]; }
  // The tooltip shown for a button: its text and its key.
  QString ButtonToolTip(int action) const;
  // Does what a click on button `action` of `row` does.
  void TriggerButton(int row, int action);

 signals:
  void RowButtonClicked(int row, int action);
  // The Delete key was pressed while rows were selected.
  void DeletePressed();

 protected:
  bool viewportEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // A thin frame marks the current row while the list has the keyboard, so
  // that Ctrl with the arrow keys shows where Ctrl+Space will act.
  void paintEvent(QPaintEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void SetHover(int row, int action);

  QList<RowButton> buttons_;
  int hoverRow_ = -1, hoverAction_ = -1;
  int pressRow_ = -1, pressAction_ = -1;
};

}  // namespace mivora::ui
