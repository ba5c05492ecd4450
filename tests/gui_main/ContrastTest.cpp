// Every text the windows show, measured on their rendered pixels: the
// contrast between the text and the surface under it reaches 4.5:1 (WCAG AA,
// relative luminance) in the main window, its lists, every drop-down's opened
// list, "Adjust profiles" and the message box. Disabled controls are left
// out, as the guideline leaves them out.

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <cmath>

#include "app/output/COutputFolderBar.h"
#include "app/profile/CDlgAdjustProfiles.h"
#include "app/profile/CProfileBar.h"
#include "tests/gui_main/MainDlgFixture.h"
#include "ui/CDlgMessageBox.h"

namespace mivora::test {
namespace {

constexpr double kLeastContrast = 4.5;

double Channel(int value) {
  const double c = value / 255.0;
  return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(QRgb rgb) {
  return 0.2126 * Channel(qRed(rgb)) + 0.7152 * Channel(qGreen(rgb)) + 0.0722 * Channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text drawn in `area`, which must hold the text with a
// little room above and below it. The surface is the colours of the area's
// top and bottom rows that cover at least an eighth of their row (a gradient
// under the text counts with both its ends; the smoothed edge of a glyph that
// reaches the row does not); the text is the colour of at least three pixels
// that stands out most from the top row's surface. The least contrast
// between the text and a surface colour is returned (0: one colour only).
double TextContrast(const QImage& image, const QRect& area) {
  const QRect inside = area.intersected(image.rect());
  std::vector<QRgb> surfaces;
  for (int y : {inside.top(), inside.bottom()}) {
    QMap<QRgb, int> row;
    for (int x = inside.left(); x <= inside.right(); ++x) ++row[image.pixel(x, y) | 0xff000000u];
    for (auto it = row.cbegin(); it != row.cend(); ++it)
      if (it.value() * 8 >= inside.width()) surfaces.push_back(it.key());
  }
  if (surfaces.empty()) return 0;
  QMap<QRgb, int> counts;
  for (int y = inside.top(); y <= inside.bottom(); ++y)
    for (int x = inside.left(); x <= inside.right(); ++x) ++counts[image.pixel(x, y) | 0xff000000u];
  QRgb text = surfaces.front();
  double best = 0;
  for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
    if (it.value() >= 3 && Contrast(it.key(), surfaces.front()) > best) {
      best = Contrast(it.key(), surfaces.front());
      text = it.key();
    }
  }
  if (text == surfaces.front()) return 0;
  double least = best;
  for (QRgb surface : surfaces)
    if (surface != text) least = std::min(least, Contrast(surface, text));
  return least;
}

struct Measured {
  QString what;
  double contrast;
};

class ContrastTest : public MainDlgTest {
 protected:
  // Every enabled text-bearing control of `window`, measured on its picture.
  // The focus frame is a mark of its own, not text: it is measured away.
  void MeasureWindow(QWidget& window, const QString& name) {
    if (QWidget* focus = window.focusWidget()) focus->clearFocus();
    const QImage image = window.grab().toImage();
    auto measure = [&](QWidget* widget, const QRect& local, const QString& text) {
      if (text.trimmed().isEmpty() || !widget->isVisible() || !widget->isEnabled()) return;
      const QRect area(widget->mapTo(&window, local.topLeft()), local.size());
      results_.push_back({QStringLiteral("%1: %2 \"%3\"").arg(name, widget->metaObject()->className(), text),
                          TextContrast(image, area)});
    };
    // The title in the band, left of the caption buttons.
    results_.push_back({QStringLiteral("%1: title").arg(name),
                        TextContrast(image, QRect(40, 9, window.width() - 130, 25))});
    for (QLabel* label : window.findChildren<QLabel*>()) measure(label, label->rect(), label->text());
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>())
      measure(button, button->rect().adjusted(4, 3, -4, -3), button->text());
    for (QLineEdit* field : window.findChildren<QLineEdit*>())
      measure(field, field->rect().adjusted(2, 3, -2, -3), field->text());
    for (QComboBox* box : window.findChildren<QComboBox*>())
      if (!box->isEditable()) measure(box, box->rect().adjusted(3, 4, -24, -4), box->currentText());
    for (QTableWidget* list : window.findChildren<QTableWidget*>()) MeasureList(*list, image, window, name);
  }

  void MeasureList(QTableWidget& list, const QImage& image, QWidget& window, const QString& name) {
    const QPoint origin = list.viewport()->mapTo(&window, QPoint(0, 0));
    for (int row = 0; row < list.rowCount(); ++row) {
      for (int column = 0; column < list.columnCount(); ++column) {
        const QTableWidgetItem* cell = list.item(row, column);
        if (cell == nullptr || cell->text().trimmed().isEmpty()) continue;
        const QRect area = list.visualItemRect(cell).adjusted(2, 2, -2, -2).translated(origin);
        results_.push_back({QStringLiteral("%1: row %2 \"%3\"").arg(name).arg(row).arg(cell->text()),
                            TextContrast(image, area)});
      }
    }
    QHeaderView& header = *list.horizontalHeader();
    const QPoint headerOrigin = header.viewport()->mapTo(&window, QPoint(0, 0));
    for (int column = 0; column < list.columnCount(); ++column) {
      const QString text = list.horizontalHeaderItem(column) ? list.horizontalHeaderItem(column)->text() : QString();
      if (text.trimmed().isEmpty()) continue;
      const QRect area(header.sectionViewportPosition(column) + 2, 2, header.sectionSize(column) - 4,
                       header.height() - 4);
      results_.push_back({QStringLiteral("%1: header \"%2\"").arg(name, text),
                          TextContrast(image, area.translated(headerOrigin))});
    }
  }

  // Opens the drop-down's list and measures every entry in it.
  void MeasureOpenList(QComboBox& box, const QString& name) {
    if (!box.isEnabled() || box.count() == 0) return;
    box.showPopup();
    QAbstractItemView& view = *box.view();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.isVisible(); })) << name.toStdString();
    QWidget& popup = *view.window();
    const QImage image = popup.grab().toImage();
    for (int row = 0; row < box.count(); ++row) {
      const QModelIndex index = box.model()->index(row, 0);
      const QRect area = view.visualRect(index).adjusted(2, 1, -2, -1);
      if (area.isEmpty() || !view.viewport()->rect().intersects(area)) continue;
      results_.push_back({QStringLiteral("%1 list: \"%2\"").arg(name, box.itemText(row)),
                          TextContrast(image, area.translated(view.viewport()->mapTo(&popup, QPoint(0, 0))))});
    }
    box.hidePopup();
  }

  void ExpectAllReadable(int atLeast) {
    EXPECT_GE(static_cast<int>(results_.size()), atLeast);
    double lowest = 100;
    for (const Measured& m : results_) {
      lowest = std::min(lowest, m.contrast);
      EXPECT_GE(m.contrast, kLeastContrast) << m.what.toStdString();
    }
    std::printf("%zu texts measured, lowest contrast %.2f:1\n", results_.size(), lowest);
  }

  std::vector<Measured> results_;
};

TEST_F(ContrastTest, TheMainWindowItsListsAndItsDropDownsAreReadable) {
  AddByDialog({Clip("a.mp4"), Clip("b.avi"), Clip("c.mkv")});
  window_->Model().OutputFolders().Browse(MakeTempDir("out"));
  window_->OutputFolderBar()->Refresh();
  ClickRow(1);  // a selected row, and the profile controls on
  MeasureWindow(*window_, QStringLiteral("main"));
  CProfileBar& bar = *window_->ProfileBar();
  MeasureOpenList(*bar.VideoBitrates(), QStringLiteral("video bit rate"));
  MeasureOpenList(*bar.AudioBitrates(), QStringLiteral("audio bit rate"));
  MeasureOpenList(*window_->OutputFolderBar()->Folders(), QStringLiteral("output folder"));
  ExpectAllReadable(40);
}

TEST_F(ContrastTest, AdjustProfilesAndItsListsAreReadable) {
  std::string profile;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(profiles_))
    if (entry.path().filename() == "MP4 - MPEG-4 H.264 Video.xml") profile = entry.path().string();
  ASSERT_FALSE(profile.empty());
  CDlgAdjustProfiles dialog(window_.get(), profile, std::nullopt);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  MeasureWindow(dialog, QStringLiteral("Adjust profiles"));
  for (QComboBox* list : dialog.findChildren<QComboBox*>()) MeasureOpenList(*list, list->objectName());
  ExpectAllReadable(30);
}

TEST_F(ContrastTest, TheMessageBoxIsReadable) {
  ui::CDlgMessageBox box(QStringLiteral("Are you sure you want to start converting?"),
                         ui::kMbYesNo | ui::kMbIconQuestion, window_.get());
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  MeasureWindow(box, QStringLiteral("message box"));
  ExpectAllReadable(2);
}

}  // namespace
}  // namespace mivora::test
