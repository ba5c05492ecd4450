// The text watermark page (text, font dialog, position, "Enable") and the
// picture watermark page (a PNG file, position, "Enable").
#include <QCheckBox>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CXFontDialog.h"

namespace mivora {
namespace {

constexpr const char* kUnreadablePicture = "The picture cannot be read: ";

void ShowChecked(QCheckBox* box, bool checked) {
  QSignalBlocker quiet(box);
  box->setChecked(checked);
}

QColor FromWindowsColour(uint32_t value) { return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF); }
uint32_t ToWindowsColour(const QColor& c) {
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}

}  // namespace

TextPage::TextPage(EditorWindow& editor) : EditorPage(editor) {
  AddLabel(QStringLiteral("Text:"), QRect(16, 14, 60, 24));
  text_ = new QLineEdit(this);
  text_->setObjectName("watermarkText");
  text_->setMaxLength(static_cast<int>(EditorModel::kMaxWatermarkChars));
  text_->setGeometry(80, 14, 420, 24);
  font_ = AddButton(QStringLiteral("Font..."), QRect(510, 13, 90, 26), "font");
  AddLabel(QStringLiteral("Left:"), QRect(16, 50, 60, 24));
  left_ = AddSpin("textLeft", QRect(80, 50, 90, 24));
  AddLabel(QStringLiteral("Top:"), QRect(190, 50, 50, 24));
  top_ = AddSpin("textTop", QRect(240, 50, 90, 24));
  enable_ = AddCheck(QStringLiteral("Enable"), QRect(16, 90, 100, 24), "enable");

  connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
    Model().SetWatermarkText(text.toStdString());
    editor_.EditsChanged();
  });
  connect(font_, &QAbstractButton::clicked, this, &TextPage::ChooseFont);
  connect(left_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetTextLeft(v);
    Edited();
  });
  connect(top_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetTextTop(v);
    Edited();
  });
  connect(enable_, &QCheckBox::clicked, this, [this] {
    Model().ToggleTextEnabled();
    Edited();
  });
  Refresh();
}

void TextPage::ChooseFont() {
  EditorModel::FontChoice preset = Model().FontDialogPreset();
  ui::CXFontDialog dialog(QString::fromStdString(preset.face), preset.sizePixels, FromWindowsColour(preset.color),
                          preset.alpha, this);
  if (dialog.exec() != QDialog::Accepted) return;
  Model().ApplyFont({dialog.Face().toStdString(), dialog.PixelSize(), ToWindowsColour(dialog.Color()),
                     dialog.Alpha()});
  Edited();
}

void TextPage::Refresh() {
  const EditSettings& w = Model().Working();
  const QString text = QString::fromStdString(w.watermarkText);
  if (text_->text() != text) text_->setText(text);
  ShowValue(left_, w.textLeft);
  ShowValue(top_, w.textTop);
  ShowChecked(enable_, w.textEnabled != 0);
  for (QWidget* control : {static_cast<QWidget*>(text_), static_cast<QWidget*>(font_), static_cast<QWidget*>(left_),
                           static_cast<QWidget*>(top_)})
    control->setEnabled(w.textEnabled != 0);
}

PicturePage::PicturePage(EditorWindow& editor) : EditorPage(editor) {
  AddLabel(QStringLiteral("Picture:"), QRect(16, 14, 60, 24));
  path_ = new QLineEdit(this);
  path_->setObjectName("picturePath");
  path_->setReadOnly(true);
  path_->setGeometry(80, 14, 420, 24);
  browse_ = AddButton(QStringLiteral("Browse..."), QRect(510, 13, 90, 26), "browse");
  AddLabel(QStringLiteral("Left:"), QRect(16, 50, 60, 24));
  left_ = AddSpin("pictureLeft", QRect(80, 50, 90, 24));
  AddLabel(QStringLiteral("Top:"), QRect(190, 50, 50, 24));
  top_ = AddSpin("pictureTop", QRect(240, 50, 90, 24));
  enable_ = AddCheck(QStringLiteral("Enable"), QRect(16, 90, 100, 24), "enable");

  connect(browse_, &QAbstractButton::clicked, this, &PicturePage::Browse);
  connect(left_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetPictureLeft(v);
    Edited();
  });
  connect(top_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetPictureTop(v);
    Edited();
  });
  connect(enable_, &QCheckBox::clicked, this, [this] {
    Model().TogglePictureEnabled();
    Edited();
  });
  Refresh();
}

void PicturePage::Browse() {
  QFileDialog dialog(this, QStringLiteral("Open"), QString(), QStringLiteral("Png picture(*.png)"));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().first();
  QImageReader reader(path);
  const QSize size = reader.canRead() ? reader.size() : QSize();
  switch (Model().ChoosePicture(path.toStdString(), size.width(), size.height())) {
    case EditorModel::PictureChoice::kAccepted: break;
    case EditorModel::PictureChoice::kTooLarge:
      ui::CDlgMessageBox::Show(QString::fromStdString(Model().PictureTooLargeMessage()),
                               ui::kMbOk | ui::kMbIconInformation, this);
      return;
    case EditorModel::PictureChoice::kUnreadable:
      MLOG("PicturePage::Browse, unreadable picture: %s", path.toStdString().c_str());
      ui::CDlgMessageBox::Show(QString::fromLatin1(kUnreadablePicture) + path, ui::kMbOk | ui::kMbIconStop, this);
      return;
  }
  Edited();
}

void PicturePage::Refresh() {
  const EditSettings& w = Model().Working();
  path_->setText(QString::fromStdString(w.picturePath));
  ShowValue(left_, w.pictureLeft);
  ShowValue(top_, w.pictureTop);
  ShowChecked(enable_, w.pictureEnabled != 0);
  for (QWidget* control : {static_cast<QWidget*>(path_), static_cast<QWidget*>(browse_),
                           static_cast<QWidget*>(left_), static_cast<QWidget*>(top_)})
    control->setEnabled(w.pictureEnabled != 0);
}

}  // namespace mivora
