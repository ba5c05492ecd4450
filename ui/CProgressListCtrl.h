#pragma once
// A skinned list of rows with text columns, one column drawn as a progress
// bar (0 to 100) and one column holding a push button per row, whose clicks
// are reported with the row they are in at the moment of the click.

#include <QList>
#include <QStringList>
#include <QTableWidget>

class QAbstractButton;

namespace mivora::ui {

class CProgressListCtrl : public QTableWidget {
  Q_OBJECT

 public:
  explicit CProgressListCtrl(QWidget* parent = nullptr);

  // Column titles and widths; `progressColumn` shows a bar, `buttonColumn`
  // a button with `buttonText` in every row. The first column takes what
  // is left of the width and shows its text elided at the start, so the
  // end of a long path stays visible.
  void SetColumns(const QStringList& titles, const QList<int>& widths, int progressColumn,
                  int buttonColumn, const QString& buttonText);

  // Appends a row with `texts` in the text columns (progress 0); its index.
  int AddRow(const QStringList& texts);
  void RemoveRow(int row);

  // Clamped to 0..100.
  void SetProgress(int row, int percent);
  int Progress(int row) const;
  // A word the progress column shows instead of the percent ("Failed"), with
  // `why` as the tooltip of every cell of the row; an empty word shows the
  // percent again.
  void SetOutcome(int row, const QString& word, const QString& why);
  QString Outcome(int row) const;
  void SetCellText(int row, int column, const QString& text);
  QString CellText(int row, int column) const;
  void SetButtonEnabled(int row, bool enabled);
  QAbstractButton* RowButton(int row) const;

 signals:
  void rowButtonClicked(int row);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FitFirstColumn();
  bool ValidRow(int row) const { return row >= 0 && row < rowCount(); }

  QList<int> widths_;
  int progressColumn_ = -1;
  int buttonColumn_ = -1;
  QString buttonText_;
};

}  // namespace mivora::ui
