// The text watermark page (text, font dialog, position, "Enable") and the
// picture watermark page (a PNG file, position, "Enable").
#include <QCheckBox>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <string>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "common/Log.h"
#include "ui/CDlgMessageBox.h"
#include "ui/CGPImageButton.h"
#include "ui/CXFontDialog.h"
#include "editing/TextColour.h"

namespace mivora {
namespace {

constexpr const char* kUnreadablePicture = "The picture cannot be read: ";

void ShowChecked(QCheckBox* box, bool checked) {
  QSignalBlocker quiet(box);
  box->setChecked(checked);
}

QColor FromWindowsColour(uint32_t value) { return QColor::fromRgb(RgbOfTextColour(value)); }
uint32_t ToWindowsColour(const QColor& c) { return TextColourOfRgb(c.rgb()); }

}  // namespace

template <typename Result>
void WatermarkPage::AddPlacement(const char* prefix, Result (EditorModel::*setLeft)(int),
                                 Result (EditorModel::*setTop)(int), void (EditorModel::*toggleEnabled)()) {
  AddLabel(QStringLiteral("Left:"), QRect(16, 50, 60, 24));
  left_ = AddSpin((std::string(prefix) + "Left").c_str(), QRect(80, 50, 90, 24));
  AddLabel(QStringLiteral("Top:"), QRect(190, 50, 50, 24));
  top_ = AddSpin((std::string(prefix) + "Top").c_str(), QRect(240, 50, 90, 24));
  enable_ = AddCheck(QStringLiteral("Enable"), QRect(16, 90, 100, 24), "enable");
  EditOnValue(left_, &QSpinBox::valueChanged, setLeft);
  EditOnValue(top_, &QSpinBox::valueChanged, setTop);
  EditOnClick(enable_, toggleEnabled);
}

void WatermarkPage::ShowPlacement(int left, int top, bool enabled, QWidget* field, QWidget* button) {
  ShowValue(left_, left);
  ShowValue(top_, top);
  ShowChecked(enable_, enabled);
  for (QWidget* control : {field, button, static_cast<QWidget*>(left_), static_cast<QWidget*>(top_)})
    control->setEnabled(enabled);
}

TextPage::TextPage(EditorWindow& editor) : WatermarkPage(editor) {
  AddLabel(QStringLiteral("Text:"), QRect(16, 14, 60, 24));
  text_ = new QLineEdit(this);
  text_->setObjectName("watermarkText");
  text_->setMaxLength(static_cast<int>(EditorModel::kMaxWatermarkChars));
  text_->setGeometry(80, 14, 420, 24);
  font_ = AddButton(QStringLiteral("Font..."), QRect(510, 13, 90, 26), "font");
  AddPlacement("text", &EditorModel::SetTextLeft, &EditorModel::SetTextTop, &EditorModel::ToggleTextEnabled);

  connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
    Model().SetWatermarkText(text.toStdString());
    editor_.EditsChanged();
  });
  connect(font_, &QAbstractButton::clicked, this, &TextPage::ChooseFont);
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
  ShowPlacement(w.textLeft, w.textTop, w.textEnabled != 0, text_, font_);
}

PicturePage::PicturePage(EditorWindow& editor) : WatermarkPage(editor) {
  AddLabel(QStringLiteral("Picture:"), QRect(16, 14, 60, 24));
  path_ = new QLineEdit(this);
  path_->setObjectName("picturePath");
  path_->setReadOnly(true);
  path_->setGeometry(80, 14, 420, 24);
  browse_ = AddButton(QStringLiteral("Browse..."), QRect(510, 13, 90, 26), "browse");
  AddPlacement("picture", &EditorModel::SetPictureLeft, &EditorModel::SetPictureTop,
               &EditorModel::TogglePictureEnabled);

  connect(browse_, &QAbstractButton::clicked, this, &PicturePage::Browse);
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
  ShowPlacement(w.pictureLeft, w.pictureTop, w.pictureEnabled != 0, path_, browse_);
}

}  // namespace mivora
