// The trim page (the kept range from the playing position) and the crop page
// (four edges with spin buttons; the band on the left pane follows).
#include <QLineEdit>
#include <QSpinBox>

#include "app/editor/EditorPages.h"
#include "app/editor/EditorWindow.h"
#include "ui/CGPImageButton.h"

namespace mivora {
namespace {

QLineEdit* ReadOnlyField(QWidget* page, const char* name, const QRect& where) {
  auto* field = new QLineEdit(page);
  field->setObjectName(QString::fromLatin1(name));
  field->setReadOnly(true);
  field->setGeometry(where);
  return field;
}

}  // namespace

TrimPage::TrimPage(EditorWindow& editor) : EditorPage(editor) {
  AddLabel(QStringLiteral("Start:"), QRect(16, 14, 60, 24));
  start_ = ReadOnlyField(this, "trimStart", QRect(80, 14, 100, 24));
  auto* setStart = AddButton(QStringLiteral("Set"), QRect(190, 13, 60, 26), "trimStartSet");
  AddLabel(QStringLiteral("End:"), QRect(16, 50, 60, 24));
  end_ = ReadOnlyField(this, "trimEnd", QRect(80, 50, 100, 24));
  auto* setEnd = AddButton(QStringLiteral("Set"), QRect(190, 49, 60, 26), "trimEndSet");
  AddLabel(QStringLiteral("Length:"), QRect(16, 86, 60, 24));
  length_ = ReadOnlyField(this, "trimLength", QRect(80, 86, 100, 24));
  AddLabel(QStringLiteral("Play the video and press \"Set\" where the kept part starts and ends."),
           QRect(270, 14, 380, 24));
  auto* reset = AddButton(QStringLiteral("Reset"), QRect(16, 136, 80, 26), "reset");

  connect(setStart, &QAbstractButton::clicked, this, [this] {
    Model().SetTrimStartFrom(editor_.ClockText());
    Edited();
  });
  connect(setEnd, &QAbstractButton::clicked, this, [this] {
    Model().SetTrimEndFrom(editor_.ClockText());
    Edited();
  });
  EditOnClick(reset, &EditorModel::ResetTrim);
  Refresh();
}

void TrimPage::Refresh() {
  start_->setText(QString::fromStdString(Model().TrimStartText()));
  end_->setText(QString::fromStdString(Model().TrimEndText()));
  length_->setText(QString::fromStdString(Model().TrimLengthText()));
}

CropPage::CropPage(EditorWindow& editor) : EditorPage(editor) {
  const char* captions[] = {"Left:", "Top:", "Width:", "Height:"};
  for (int i = 0; i < 4; ++i) AddLabel(QString::fromLatin1(captions[i]), QRect(16, 14 + 30 * i, 60, 24));
  left_ = AddSpin("cropLeft", QRect(80, 14, 90, 24));
  top_ = AddSpin("cropTop", QRect(80, 44, 90, 24));
  width_ = AddSpin("cropWidth", QRect(80, 74, 90, 24));
  height_ = AddSpin("cropHeight", QRect(80, 104, 90, 24));
  AddLabel(QStringLiteral("Or draw the kept rectangle on the left picture with the mouse."),
           QRect(200, 14, 440, 24));
  auto* reset = AddButton(QStringLiteral("Reset"), QRect(16, 136, 80, 26), "reset");

  EditOnValue(left_, &QSpinBox::valueChanged, &EditorModel::SetCropLeft);
  EditOnValue(top_, &QSpinBox::valueChanged, &EditorModel::SetCropTop);
  connect(width_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetCropRight(Model().Crop().left + v);
    Edited();
  });
  connect(height_, &QSpinBox::valueChanged, this, [this](int v) {
    Model().SetCropBottom(Model().Crop().top + v);
    Edited();
  });
  EditOnClick(reset, &EditorModel::ResetCrop);
  Refresh();
}

void CropPage::Edited() {
  Refresh();
  editor_.CropChanged();
}

void CropPage::Refresh() {
  const CropEdges& crop = Model().Crop();
  ShowValue(left_, crop.left);
  ShowValue(top_, crop.top);
  ShowValue(width_, crop.width());
  ShowValue(height_, crop.height());
}

}  // namespace mivora
